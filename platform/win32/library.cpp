// Windows back end: dynamic libraries through LoadLibrary.
#include "platform/library_name.h"
#include "platform/win32/native_window.h"

#include <string>

namespace platform {

namespace {

std::string gLibraryError;
// The reason kept is about a file that exists but does not load, when one
// was met; otherwise the first reason.
bool gErrorAboutAFile = false;

std::string programFolder()
{
    char path[MAX_PATH * 2];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return ".";
    std::string folder(path, n);
    const size_t slash = folder.find_last_of("\\/");
    return slash == std::string::npos ? "." : folder.substr(0, slash);
}

bool hasFolder(const std::string& name) { return name.find_first_of("\\/:") != std::string::npos; }

// The system's loader wants backslashes in a path.
std::string systemPath(std::string path)
{
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

void keepError(const std::string& path, DWORD code, bool aboutAFile)
{
    if ((aboutAFile && !gErrorAboutAFile) || gLibraryError.empty()) {
        char text[400];
        systemErrorText(code, text, sizeof text);
        gLibraryError = path + ": " + text;
        gErrorAboutAFile = aboutAFile;
    }
}

// Loads one file: a path to it (fileOnly), or a bare name for the system
// loader's own search. The system shows no dialog about a file it cannot
// use; the caller hears of it through lastLibraryError().
void* tryOpen(const std::string& name, bool fileOnly)
{
    DWORD oldMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    HMODULE module = nullptr;
    DWORD code = 0;
    std::string path = systemPath(name);
    if (fileOnly) {
        // An absolute path lets the libraries it needs be found beside it.
        char full[MAX_PATH * 2];
        const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
        if (n > 0 && n < sizeof full) path = full;
        module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    } else {
        module = LoadLibraryA(path.c_str());
    }
    if (!module) code = GetLastError();
    SetThreadErrorMode(oldMode, nullptr);
    if (module) return module;
    const bool aboutAFile = fileOnly && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    keepError(path, code, aboutAFile);
    return nullptr;
}

// One file name: a name with a folder in it as it stands; a bare name beside
// the program, in the working folder, then wherever the system loader looks
// (the system folders and PATH).
void* openFile(const std::string& name)
{
    if (hasFolder(name)) return tryOpen(name, true);
    if (void* h = tryOpen(programFolder() + "\\" + name, true)) return h;
    if (void* h = tryOpen(".\\" + name, true)) return h;
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

void* librarySymbol(void* library, const char* symbol)
{
    if (!library || !symbol) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), symbol));
}

void closeLibrary(void* library)
{
    if (library) FreeLibrary(static_cast<HMODULE>(library));
}

const char* lastLibraryError() { return gLibraryError.c_str(); }

} // namespace platform
