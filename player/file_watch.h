// Watching the files a show was built from. Each poll compares every file's
// existence, size and modification time with the previous poll; a change is
// reported once the files have held still over two polls in a row, so a file
// that an editor is still writing is not read half-written. Polling file
// times works on every system and file system and needs no notification API.
#pragma once

#include <string>
#include <vector>

class cFileWatch {
public:
    // Watches these paths from now on; what they hold now is the known state.
    void watch(const std::vector<std::string>& paths);
    // Adds paths to the watch (those already watched are left as they are).
    void add(const std::vector<std::string>& paths);
    // True once for every settled change: something differs from the known
    // state and nothing changed since the previous poll. The changed paths
    // are then in changed() and the known state follows the files.
    bool poll();
    // Looks at the files now, settled or not, and takes every difference
    // from the known state into changed(), as a forced reload needs.
    void takeChanges();

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
    static sStamp stampOf(const std::string& path);

    std::vector<std::string> paths_;
    std::vector<sStamp> known_; // what the show was built from
    std::vector<sStamp> last_;  // what the previous poll saw
    std::vector<std::string> changed_;
};
