// Dynamic libraries: loading one, finding its exports, unloading it.
#pragma once

#include "platform/api.h"

#include <string>

namespace platform {

// Loads a library. The name stands for the file names of
// libraryFileNames() (platform/library_name.h): without an extension the
// platform's suffix is added, and a ".dll" name is also tried with the
// platform's own suffix. Each file name with a folder in it is used as it
// stands; a bare one is looked for in the program's folder, in the working
// folder, then wherever the system's loader looks. Null when nothing loads.
KX_PLATFORM_API void* openLibrary(const char* name);
KX_PLATFORM_API void* librarySymbol(void* library, const char* symbol);
KX_PLATFORM_API void closeLibrary(void* library);
// Why the last openLibrary failed.
KX_PLATFORM_API const char* lastLibraryError();

// The folder of the running program, without a trailing separator; "."
// when it cannot be told. Plug-ins are looked for there first.
KX_PLATFORM_API std::string programFolder();

} // namespace platform
