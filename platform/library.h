// Dynamic libraries: loading one, finding its exports, unloading it.
#pragma once

namespace platform {

// Loads a library. The name stands for the file names of
// libraryFileNames() (platform/library_name.h): without an extension the
// platform's suffix is added, and a ".dll" name is also tried with the
// platform's own suffix. Each file name with a folder in it is used as it
// stands; a bare one is looked for in the program's folder, in the working
// folder, then wherever the system's loader looks. Null when nothing loads.
void* openLibrary(const char* name);
void* librarySymbol(void* library, const char* symbol);
void closeLibrary(void* library);
// Why the last openLibrary failed.
const char* lastLibraryError();

} // namespace platform
