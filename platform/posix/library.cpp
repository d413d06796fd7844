// POSIX systems: dynamic libraries through dlopen; the program's folder
// from Linux's /proc.
#include "platform/backend/library.h"

#include "platform/library.h"

#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

namespace platform {

void* loadLibraryFile(const char* file, std::string& why)
{
    void* handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        if (reason) why = reason;
    }
    return handle;
}

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

void* librarySymbol(void* library, const char* symbol) { return library ? dlsym(library, symbol) : nullptr; }

void closeLibrary(void* library)
{
    if (library) dlclose(library);
}

} // namespace platform
