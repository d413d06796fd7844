#include "platform/file_changes.h"

#include <cstring>
#include <string>
#include <vector>

#if defined(__linux__)
#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>
#endif

namespace platform {

#if defined(__linux__)

struct FileChanges {
    int fd = -1;
    struct sFolder {
        int wd;
        std::string name;
    };
    std::vector<sFolder> folders;
    // Events read from the descriptor and not yet handed out.
    alignas(inotify_event) char buffer[16 * 1024];
    size_t filled = 0, at = 0;
};

FileChanges* openFileChanges()
{
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) return nullptr;
    FileChanges* changes = new FileChanges;
    changes->fd = fd;
    return changes;
}

void closeFileChanges(FileChanges* changes)
{
    if (!changes) return;
    close(changes->fd);
    delete changes;
}

bool watchFolderOf(FileChanges* changes, const char* file)
{
    if (!changes || !file) return false;
    const char* slash = std::strrchr(file, '/');
    const std::string folder = slash ? std::string(file, size_t(slash - file)) : std::string(".");
    constexpr uint32_t kMask = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                               IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
    const int wd = inotify_add_watch(changes->fd, folder.empty() ? "/" : folder.c_str(), kMask);
    if (wd < 0) return false;
    for (const FileChanges::sFolder& f : changes->folders)
        if (f.wd == wd) return true; // the same folder by another name keeps its first one
    changes->folders.push_back({wd, folder});
    return true;
}

bool nextFileChange(FileChanges* changes, char* path, size_t size, bool* done)
{
    if (!changes || !path || size == 0) return false;
    for (;;) {
        if (changes->at >= changes->filled) {
            const ssize_t n = read(changes->fd, changes->buffer, sizeof changes->buffer);
            if (n <= 0) return false; // EAGAIN: nothing waiting
            changes->filled = size_t(n);
            changes->at = 0;
        }
        inotify_event event;
        std::memcpy(&event, changes->buffer + changes->at, sizeof event);
        const char* name = changes->buffer + changes->at + sizeof event;
        const size_t record = sizeof event + event.len;
        if (changes->filled - changes->at < record) { // cannot happen: the kernel writes whole events
            changes->at = changes->filled;
            return false;
        }
        changes->at += record;
        if (event.mask & (IN_Q_OVERFLOW | IN_IGNORED)) continue;
        const FileChanges::sFolder* folder = nullptr;
        for (const FileChanges::sFolder& f : changes->folders)
            if (f.wd == event.wd) folder = &f;
        if (!folder) continue;
        // The folder itself went or moved: every file in it changed.
        const std::string file = event.len > 0 ? folder->name + "/" + std::string(name, strnlen(name, event.len))
                                               : folder->name + "/";
        if (file.size() + 1 > size) continue;
        std::memcpy(path, file.c_str(), file.size() + 1);
        *done = (event.mask & (IN_MODIFY | IN_CREATE)) == 0 || (event.mask & IN_ISDIR) != 0;
        return true;
    }
}

#else

FileChanges* openFileChanges() { return nullptr; }
void closeFileChanges(FileChanges*) {}
bool watchFolderOf(FileChanges*, const char*) { return false; }
bool nextFileChange(FileChanges*, char*, size_t, bool*) { return false; }

#endif

} // namespace platform
