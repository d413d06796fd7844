// Windows back end: dynamic libraries through LoadLibrary, and the program's
// folder from the system's module name. Both through the wide calls, so a
// program or plug-in in a folder whose name lies outside the ANSI code page
// loads like any other.
#include "platform/backend/library.h"

#include "platform/file_name.h"
#include "platform/library.h"
#include "platform/win32/native_window.h"

#include <string>
#include <vector>

namespace platform {

namespace {

// The system's loader wants backslashes in a path.
std::wstring systemPath(const char* file)
{
    std::wstring path = systemName(file);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

} // namespace

// The system shows no dialog about a file it cannot use; the caller hears of
// it through the reason.
void* loadLibraryFile(const char* file, std::string& why)
{
    if (!file || !*file) return nullptr;
    std::wstring path = systemPath(file);
    DWORD oldMode = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
    HMODULE module = nullptr;
    if (nameHasFolder(file)) {
        // An absolute path, with the altered search order, lets the libraries
        // it needs be found beside it.
        const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
        if (n > 0) {
            std::vector<wchar_t> full(n + 1, L'\0');
            const DWORD m = GetFullPathNameW(path.c_str(), DWORD(full.size()), full.data(), nullptr);
            if (m > 0 && m < full.size()) path.assign(full.data(), m);
        }
        module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    } else {
        module = LoadLibraryW(path.c_str());
    }
    const DWORD code = module ? 0 : GetLastError();
    SetThreadErrorMode(oldMode, nullptr);
    if (!module) {
        char text[400];
        systemErrorText(code, text, sizeof text);
        why = utf8FromWide(path.c_str()) + ": " + text;
    }
    return module;
}

std::string programFolder()
{
    // Paths may be longer than MAX_PATH; the buffer grows until the name fits.
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0) return ".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return ".";
        path.resize(path.size() * 2);
    }
    path.push_back(L'\0');
    const std::string folder = utf8FromWide(path.data());
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
