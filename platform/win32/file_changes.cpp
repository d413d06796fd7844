// Windows back end of the file change notes: one directory handle per
// watched folder, each with a ReadDirectoryChangesW request outstanding
// (overlapped), looked at without waiting.
#include "platform/file_changes.h"

#include "platform/file_name.h"
#include "platform/win32/windows_api.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace platform {

namespace {

struct sFolder {
    std::string name; // as watchFolderOf was given it
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED overlapped{};
    alignas(DWORD) unsigned char buffer[16 * 1024];
    DWORD filled = 0, at = 0; // notes received and not yet handed out
    bool pending = false;     // a request is outstanding

    ~sFolder()
    {
        if (pending) CancelIoEx(handle, &overlapped);
        if (pending) {
            DWORD ignored = 0;
            GetOverlappedResult(handle, &overlapped, &ignored, TRUE);
        }
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        if (overlapped.hEvent) CloseHandle(overlapped.hEvent);
    }

    bool ask()
    {
        constexpr DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_SIZE |
                                  FILE_NOTIFY_CHANGE_LAST_WRITE;
        pending =
            ReadDirectoryChangesW(handle, buffer, sizeof buffer, FALSE, kFilter, nullptr, &overlapped, nullptr) != 0;
        return pending;
    }
};

} // namespace

struct FileChanges {
    std::vector<std::unique_ptr<sFolder>> folders;
    size_t next = 0; // the folder looked at next
};

FileChanges* openFileChanges() { return new FileChanges; }

void closeFileChanges(FileChanges* changes) { delete changes; }

bool watchFolderOf(FileChanges* changes, const char* file)
{
    if (!changes || !file) return false;
    const char* slash = std::strrchr(file, '/');
    const char* backslash = std::strrchr(file, '\\');
    if (backslash && (!slash || backslash > slash)) slash = backslash;
    const std::string folder = slash ? std::string(file, size_t(slash - file)) : std::string(".");
    for (const auto& f : changes->folders)
        if (_stricmp(f->name.c_str(), folder.c_str()) == 0) return true;
    auto f = std::make_unique<sFolder>();
    f->name = folder;
    f->handle = CreateFileW(systemName(folder.c_str()).c_str(), FILE_LIST_DIRECTORY,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    if (f->handle == INVALID_HANDLE_VALUE) return false;
    f->overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!f->overlapped.hEvent || !f->ask()) return false;
    changes->folders.push_back(std::move(f));
    return true;
}

bool nextFileChange(FileChanges* changes, char* path, size_t size, bool* done)
{
    if (!changes || !path || size == 0) return false;
    for (size_t looked = 0; looked < changes->folders.size();) {
        sFolder& f = *changes->folders[changes->next % changes->folders.size()];
        if (f.at >= f.filled) {
            DWORD got = 0;
            if (!f.pending || !GetOverlappedResult(f.handle, &f.overlapped, &got, FALSE)) {
                // Still waiting (or the folder is gone): the next folder.
                changes->next = (changes->next + 1) % changes->folders.size();
                ++looked;
                continue;
            }
            f.pending = false;
            f.filled = got;
            f.at = 0;
            ResetEvent(f.overlapped.hEvent);
            if (got == 0) {
                // Too many changes for the buffer: the whole folder changed.
                f.ask();
                const std::string all = f.name + "/";
                if (all.size() + 1 > size) continue;
                std::memcpy(path, all.c_str(), all.size() + 1);
                *done = false;
                return true;
            }
        }
        if (f.filled - f.at < offsetof(FILE_NOTIFY_INFORMATION, FileName)) { // a torn answer
            f.at = f.filled;
            f.ask();
            continue;
        }
        FILE_NOTIFY_INFORMATION info;
        std::memcpy(&info, f.buffer + f.at, offsetof(FILE_NOTIFY_INFORMATION, FileName));
        const size_t nameBytes = info.FileNameLength;
        const size_t start = f.at + offsetof(FILE_NOTIFY_INFORMATION, FileName);
        std::vector<wchar_t> wide(start + nameBytes <= f.filled ? nameBytes / sizeof(wchar_t) : 0);
        if (!wide.empty()) std::memcpy(wide.data(), f.buffer + start, wide.size() * sizeof(wchar_t));
        f.at = info.NextEntryOffset ? f.at + info.NextEntryOffset : f.filled;
        // Every note of this answer read: the buffer takes the next one.
        if (f.at >= f.filled) f.ask();
        if (wide.empty()) continue;
        // Names inside the program are UTF-8, whatever the ANSI code page.
        wide.push_back(L'\0');
        const std::string name = utf8FromWide(wide.data());
        if (name.empty()) continue;
        std::string file = f.name + "/" + name;
        for (char& c : file)
            if (c == '\\') c = '/';
        if (file.size() + 1 > size) continue;
        std::memcpy(path, file.c_str(), file.size() + 1);
        // Windows tells no end of a write; a file removed or renamed into
        // place is done.
        *done = info.Action == FILE_ACTION_REMOVED || info.Action == FILE_ACTION_RENAMED_NEW_NAME ||
                info.Action == FILE_ACTION_RENAMED_OLD_NAME;
        return true;
    }
    return false;
}

} // namespace platform
