// Windows back end: dynamic libraries through LoadLibrary, and the program's
// folder from the system's module name.
#include "platform/backend/library.h"

#include "platform/library.h"
#include "platform/win32/native_window.h"

#include <string>

namespace platform {

namespace {

// The system's loader wants backslashes in a path.
std::string systemPath(std::string path)
{
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

bool hasFolder(const std::string& name) { return name.find_first_of("\\/:") != std::string::npos; }

} // namespace

// The system shows no dialog about a file it cannot use; the caller hears of
// it through the reason.
void* loadLibraryFile(const char* file, std::string& why)
{
    if (!file || !*file) return nullptr;
    std::string path = systemPath(file);
    DWORD oldMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    HMODULE module = nullptr;
    if (hasFolder(path)) {
        // An absolute path, with the altered search order, lets the libraries
        // it needs be found beside it.
        char full[MAX_PATH * 2];
        const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
        if (n > 0 && n < sizeof full) path = full;
        module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    } else {
        module = LoadLibraryA(path.c_str());
    }
    const DWORD code = module ? 0 : GetLastError();
    SetThreadErrorMode(oldMode, nullptr);
    if (!module) {
        char text[400];
        systemErrorText(code, text, sizeof text);
        why = path + ": " + text;
    }
    return module;
}

std::string programFolder()
{
    char path[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return ".";
    std::string folder(path, n);
    const size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? "." : folder.substr(0, slash);
}

void* librarySymbol(void* library, const char* symbol)
{
    if (!library || !symbol) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), symbol));
}

void closeLibrary(void* library)
{
    if (library) FreeLibrary(static_cast<HMODULE>(library));
}

} // namespace platform
