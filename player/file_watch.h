// Watching the files a show was built from. Each poll compares every file's
// existence, size and modification time with the previous poll, and takes
// the system's change notes where it gives them (platform/file_changes.h):
// with them a save that keeps the size and time stamp is seen too. A change
// is reported once the files have settled, so a file that an editor is
// still writing is not read half-written: its writer closed it (a note
// says so), or nothing changed since the previous poll.
//
// What the show was built from stays the known state until accept(): a
// change reported for a reload that then failed is reported again, with
// every later one, by the next report.
#pragma once

#include <string>
#include <vector>

namespace platform {
struct FileChanges;
}

class cFileWatch {
public:
    // notes: take the system's change notes where it gives them.
    explicit cFileWatch(bool notes = true);
    ~cFileWatch();
    cFileWatch(const cFileWatch&) = delete;
    cFileWatch& operator=(const cFileWatch&) = delete;

    // Watches these paths from now on; what they hold now is the known state.
    void watch(const std::vector<std::string>& paths);
    // Adds paths to the watch (those already watched are left as they are).
    void add(const std::vector<std::string>& paths);
    // True once for every settled change: something changed since the
    // previous report and the files have settled. changed() then holds
    // every path that differs from the known state.
    bool poll();
    // What the latest report (or takeChanges) saw becomes the known state:
    // the show was built from it.
    void accept();
    // Looks at the files now, settled or not, and takes every difference
    // from the known state into changed(), as a forced reload needs.
    void takeChanges();
    // Takes the notes waiting; true when one says a writer finished with a
    // watched file, so a poll now finds it settled.
    bool writerDone();
    // Whether the system's change notes are in use.
    bool notified() const { return notes_ != nullptr; }

    const std::vector<std::string>& paths() const { return paths_; }
    const std::vector<std::string>& changed() const { return changed_; }

private:
    struct sStamp {
        bool exists = false;
        long long size = 0;
        long long time = 0; // modification time, in the file system's own ticks
        bool operator==(const sStamp& o) const { return exists == o.exists && size == o.size && time == o.time; }
        bool operator!=(const sStamp& o) const { return !(*this == o); }
    };
    struct sFile {
        std::string path;
        std::string noted; // the path as the change notes name it
        sStamp known;      // what the show was built from
        sStamp last;       // what the previous poll saw
        sStamp reported;   // what the latest report saw
        bool written = false; // a note since the show was built
        bool fresh = false;   // a note since the latest report
        bool writing = false; // the latest note was of a write not yet finished
        bool busy = false;    // a note of an unfinished write since the previous poll
    };
    static sStamp stampOf(const std::string& path);
    void takeNotes();
    void collectChanged();

    std::vector<sFile> files_;
    std::vector<std::string> paths_;
    std::vector<std::string> changed_;
    bool useNotes_;
    platform::FileChanges* notes_ = nullptr;
    bool done_ = false; // a writer finished with a watched file since the previous poll
};
