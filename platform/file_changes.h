// Notes of file changes as the system makes them (inotify on Linux,
// ReadDirectoryChangesW on Windows), so a watcher learns of a save at once,
// also of one that keeps the file's size and time stamp, and of the moment
// its writer is done with it.
#pragma once

#include "platform/api.h"

#include <cstddef>

namespace platform {

struct FileChanges;

// A new, empty set of watched folders; null when the system gives no notes
// (the caller then relies on comparing file times alone).
KX_PLATFORM_API FileChanges* openFileChanges();
KX_PLATFORM_API void closeFileChanges(FileChanges* changes);
// Watches the folder that holds `file` (a folder watched already is not
// watched twice). False when the folder cannot be watched.
KX_PLATFORM_API bool watchFolderOf(FileChanges* changes, const char* file);
// Takes the next note without waiting: the path of a file written, made,
// removed or renamed in a watched folder (the folder as watchFolderOf was
// given it, a slash, the file's name) and whether its writer is done with
// it: closed after writing, renamed into place, removed. Notes of a system
// that cannot tell the end of a write are never done. False when no note
// is waiting, or when a path does not fit in `size` bytes (skipped).
KX_PLATFORM_API bool nextFileChange(FileChanges* changes, char* path, size_t size, bool* done);

} // namespace platform
