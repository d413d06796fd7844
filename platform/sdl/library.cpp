// Linux back end: dynamic libraries through dlopen.
#include "platform/library.h"

#include "platform/library_name.h"

#include <cstring>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace platform {

namespace {

std::string gLibraryError;
// The reason kept is about a file that exists but does not load, when one
// was met; otherwise the first reason.
bool gErrorAboutAFile = false;

std::string programFolder()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = 0;
    char* slash = std::strrchr(path, '/');
    if (!slash) return ".";
    *slash = 0;
    return path;
}

// checkFile: the name is a path to the file (not a name for the system
// loader's search), so whether the file exists can be told.
void* tryOpen(const std::string& path, bool checkFile)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle) return handle;
    const char* why = dlerror();
    const bool aboutAFile = checkFile && access(path.c_str(), F_OK) == 0;
    if ((aboutAFile && !gErrorAboutAFile) || gLibraryError.empty()) {
        gLibraryError = why ? why : path + ": cannot load";
        gErrorAboutAFile = aboutAFile;
    }
    return nullptr;
}

// One file name: a name with a folder in it as it stands; a bare name beside
// the program, in the working folder, then wherever the system loader looks
// (LD_LIBRARY_PATH, the loader's cache, the system's library folders).
void* openFile(const std::string& name)
{
    if (name.find('/') != std::string::npos) return tryOpen(name, true);
    if (void* h = tryOpen(programFolder() + "/" + name, true)) return h;
    if (void* h = tryOpen("./" + name, true)) return h;
    return tryOpen(name, false);
}

} // namespace

void* openLibrary(const char* name)
{
    gLibraryError.clear();
    gErrorAboutAFile = false;
    if (!name || !*name) {
        gLibraryError = "no library name";
        return nullptr;
    }
    for (const std::string& file : libraryFileNames(name))
        if (void* h = openFile(file)) return h;
    return nullptr;
}

void* librarySymbol(void* library, const char* symbol) { return library ? dlsym(library, symbol) : nullptr; }

void closeLibrary(void* library)
{
    if (library) dlclose(library);
}

const char* lastLibraryError() { return gLibraryError.c_str(); }

} // namespace platform
