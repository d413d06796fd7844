// What each back end gives the portable library loader
// (platform/library.cpp), with programFolder() of platform/library.h,
// which holds the names to try, the folders to look
// in and their order.
#pragma once

#include <string>

namespace platform {

// Loads one library file: `file` is a path when it has a folder in it,
// otherwise a bare name for the system loader's own search. Null on
// failure, with the system's reason in `why` (left as it is when the system
// gives none).
void* loadLibraryFile(const char* file, std::string& why);

} // namespace platform
