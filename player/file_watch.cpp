#include "player/file_watch.h"

#include "platform/file_changes.h"

#include "platform/file_name.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

cFileWatch::cFileWatch(bool notes) : useNotes_(notes) {}

cFileWatch::~cFileWatch() { platform::closeFileChanges(notes_); }

cFileWatch::sStamp cFileWatch::stampOf(const std::string& path)
{
    sStamp s;
    std::error_code error;
    const std::filesystem::path p = platform::filePath(path);
    if (!std::filesystem::is_regular_file(p, error)) return s;
    const auto size = std::filesystem::file_size(p, error);
    if (error) return s;
    const auto time = std::filesystem::last_write_time(p, error);
    if (error) return s;
    s.exists = true;
    s.size = static_cast<long long>(size);
    s.time = static_cast<long long>(time.time_since_epoch().count());
    return s;
}

void cFileWatch::watch(const std::vector<std::string>& paths)
{
    files_.clear();
    paths_.clear();
    changed_.clear();
    done_ = false;
    // A fresh set of notes: those of the files watched before are of no use.
    platform::closeFileChanges(notes_);
    notes_ = useNotes_ ? platform::openFileChanges() : nullptr;
    add(paths);
}

void cFileWatch::add(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths) {
        bool known = false;
        for (const sFile& f : files_) known = known || f.path == path;
        if (known) continue;
        sFile f;
        f.path = path;
        f.noted = path.find('/') == std::string::npos ? "./" + path : path;
        // Watched before it is looked at: a write in between is noted.
        // A folder that does not exist yet cannot be watched: its files
        // are seen by their times alone.
        if (notes_) platform::watchFolderOf(notes_, f.noted.c_str());
        f.known = f.last = f.reported = stampOf(path);
        files_.push_back(f);
        paths_.push_back(path);
    }
}

void cFileWatch::takeNotes()
{
    if (!notes_) return;
    char path[1024];
    bool done = false;
    while (platform::nextFileChange(notes_, path, sizeof path, &done)) {
        const std::string noted = path;
        // A note ending in a slash is of the folder itself (gone, moved, or
        // too many notes to tell apart): every file in it may have changed.
        const bool folder = !noted.empty() && noted.back() == '/';
        for (sFile& f : files_) {
            if (folder ? f.noted.compare(0, noted.size(), noted) != 0 : f.noted != noted) continue;
            f.written = f.fresh = true;
            f.writing = !done;
            f.busy = f.busy || !done;
            done_ = done_ || done;
        }
    }
}

bool cFileWatch::writerDone()
{
    takeNotes();
    return done_;
}

void cFileWatch::collectChanged()
{
    changed_.clear();
    for (const sFile& f : files_)
        if (f.last != f.known || f.written) changed_.push_back(f.path);
}

bool cFileWatch::poll()
{
    takeNotes();
    bool moving = false, busy = false;
    for (sFile& f : files_) {
        const sStamp now = stampOf(f.path);
        moving = moving || now != f.last;
        f.last = now;
        // A write still open counts until its writer closes the file, or
        // until a poll passes without a note of it (a system that does
        // not tell when a write ends).
        busy = busy || (f.writing && f.busy);
        f.busy = false;
    }
    const bool done = done_;
    done_ = false;
    if (busy || (moving && !done)) return false;
    bool news = false;
    for (const sFile& f : files_) news = news || f.last != f.reported || f.fresh;
    if (!news) return false;
    for (sFile& f : files_) {
        f.reported = f.last;
        f.fresh = false;
    }
    collectChanged();
    return true;
}

void cFileWatch::accept()
{
    for (sFile& f : files_) {
        f.known = f.reported;
        f.written = f.fresh;
    }
    changed_.clear();
}

void cFileWatch::takeChanges()
{
    takeNotes();
    for (sFile& f : files_) {
        f.last = f.reported = stampOf(f.path);
        f.fresh = f.busy = f.writing = false;
    }
    done_ = false;
    collectChanged();
}
