#include "platform/file_name.h"

#if defined(_WIN32)
#include "platform/win32/windows_api.h"
#endif

namespace platform {

bool nameHasFolder(const std::string& name)
{
#if defined(_WIN32)
    return name.find_first_of("/\\:") != std::string::npos;
#else
    return name.find('/') != std::string::npos;
#endif
}

#if defined(_WIN32)

bool widenUtf8(const char* text, std::wstring& wide)
{
    wide.clear();
    if (!text || !*text) return true;
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (n <= 0) return false;
    wide.assign(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &wide[0], n);
    wide.resize(size_t(n - 1));
    return true;
}

std::string utf8FromWide(const wchar_t* text)
{
    if (!text || !*text) return std::string();
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
    out.resize(size_t(n - 1));
    return out;
}

namespace {

// The code page of names that are not UTF-8: the system's ANSI code page
// as its locale has it. A program whose manifest asks for UTF-8 sees
// CP_ACP as UTF-8 on Windows 10 1903 and later, which such names are not.
UINT legacyCodePage()
{
    static const UINT page = [] {
        DWORD value = 0;
        if (GetLocaleInfoW(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                           reinterpret_cast<LPWSTR>(&value), sizeof value / sizeof(wchar_t)) &&
            value != 0 && value != CP_UTF8)
            return UINT(value);
        return UINT(CP_ACP);
    }();
    return page;
}

} // namespace

std::wstring systemName(const char* name)
{
    std::wstring wide;
    if (widenUtf8(name, wide)) return wide;
    const UINT page = legacyCodePage();
    const int n = MultiByteToWideChar(page, 0, name, -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    wide.assign(size_t(n), L'\0');
    MultiByteToWideChar(page, 0, name, -1, &wide[0], n);
    wide.resize(size_t(n - 1));
    return wide;
}

std::FILE* openFile(const char* name, const char* mode)
{
    if (!name || !mode) return nullptr;
    const std::wstring wideMode = systemName(mode);
    return _wfopen(systemName(name).c_str(), wideMode.c_str());
}

std::filesystem::path filePath(const std::string& name) { return std::filesystem::path(systemName(name.c_str())); }

std::string fileName(const std::filesystem::path& path) { return utf8FromWide(path.c_str()); }

bool replaceFile(const char* from, const char* to)
{
    if (!from || !to) return false;
    return MoveFileExW(systemName(from).c_str(), systemName(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool removeFile(const char* name)
{
    if (!name) return false;
    const std::wstring wide = systemName(name);
    // A program that just ended (or a virus scanner looking at a new file)
    // may hold the file a moment longer: try again for up to half a second.
    for (int attempt = 0;; ++attempt) {
        if (DeleteFileW(wide.c_str())) return true;
        const DWORD error = GetLastError();
        if (attempt >= 20 || (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED)) return false;
        Sleep(25);
    }
}

#else

std::FILE* openFile(const char* name, const char* mode)
{
    if (!name || !mode) return nullptr;
    return std::fopen(name, mode);
}

std::filesystem::path filePath(const std::string& name) { return std::filesystem::path(name); }

std::string fileName(const std::filesystem::path& path) { return path.string(); }

bool replaceFile(const char* from, const char* to) { return from && to && std::rename(from, to) == 0; }

bool removeFile(const char* name) { return name && std::remove(name) == 0; }

#endif

} // namespace platform
