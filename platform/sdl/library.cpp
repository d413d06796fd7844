// Linux back end: dynamic libraries through dlopen.
#include "platform/platform.h"

#include <dlfcn.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace platform {

namespace {

std::string gLibraryError;

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

void* tryOpen(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        gLibraryError = why ? why : path + ": cannot load";
    }
    return handle;
}

void* openBare(const std::string& name)
{
    // A name with a folder in it is taken as it stands.
    if (name.find('/') != std::string::npos)
        return tryOpen(name);
    if (void* h = tryOpen(programFolder() + "/" + name)) return h;
    return tryOpen("./" + name);
}

} // namespace

void* openLibrary(const char* name)
{
    if (!name || !*name) {
        gLibraryError = "no library name";
        return nullptr;
    }
    const std::string n = name;
    if (void* h = openBare(n)) return h;
    const size_t len = n.size();
    if (len > 4 && strcasecmp(n.c_str() + len - 4, ".dll") == 0) {
        if (void* h = openBare(n.substr(0, len - 4) + ".so")) return h;
    }
    return nullptr;
}

void* librarySymbol(void* library, const char* symbol)
{
    return library ? dlsym(library, symbol) : nullptr;
}

void closeLibrary(void* library)
{
    if (library) dlclose(library);
}

const char* lastLibraryError() { return gLibraryError.c_str(); }

} // namespace platform
