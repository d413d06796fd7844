#include "player/file_watch.h"

#include "platform/file_name.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

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
    paths_.clear();
    known_.clear();
    last_.clear();
    changed_.clear();
    add(paths);
}

void cFileWatch::add(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths) {
        if (std::find(paths_.begin(), paths_.end(), path) != paths_.end()) continue;
        paths_.push_back(path);
        const sStamp s = stampOf(path);
        known_.push_back(s);
        last_.push_back(s);
    }
}

bool cFileWatch::poll()
{
    bool moving = false;
    for (size_t i = 0; i < paths_.size(); ++i) {
        const sStamp now = stampOf(paths_[i]);
        if (now != last_[i]) {
            last_[i] = now;
            moving = true;
        }
    }
    if (moving) return false;
    changed_.clear();
    for (size_t i = 0; i < paths_.size(); ++i) {
        if (last_[i] == known_[i]) continue;
        changed_.push_back(paths_[i]);
        known_[i] = last_[i];
    }
    return !changed_.empty();
}

void cFileWatch::takeChanges()
{
    changed_.clear();
    for (size_t i = 0; i < paths_.size(); ++i) {
        last_[i] = stampOf(paths_[i]);
        if (last_[i] == known_[i]) continue;
        changed_.push_back(paths_[i]);
        known_[i] = last_[i];
    }
}
