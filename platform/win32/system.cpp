// Windows back end: clock and message boxes.
#include "platform/win32/native_window.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace platform {

namespace {
bool gInteractive = true;

// Whether the process sits on a window station the user sees: not so for a
// service, or a program started by the task scheduler without a session. A
// message box there would wait for a click nobody can give.
bool haveDisplay()
{
    HWINSTA station = GetProcessWindowStation();
    if (!station) return false;
    USEROBJECTFLAGS flags{};
    DWORD needed = 0;
    if (!GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed)) return true;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}
} // namespace

void systemErrorText(DWORD code, char* out, size_t size)
{
    if (!out || !size) return;
    out[0] = 0;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, out,
                                   DWORD(size > 0xFFFF ? 0xFFFF : size), nullptr);
    if (n == 0) {
        std::snprintf(out, size, "system error %lu", static_cast<unsigned long>(code));
        return;
    }
    // The system's text ends in a line break (and sometimes a blank).
    size_t len = n < size ? n : size - 1;
    while (len > 0 && (out[len - 1] == '\r' || out[len - 1] == '\n' || out[len - 1] == ' ')) --len;
    out[len] = 0;
    // Some texts name their subject with an insert ("Bad EXE format for %1.").
    if (char* insert = std::strstr(out, "%1")) {
        const std::string rest = insert + 2;
        std::snprintf(insert, size - size_t(insert - out), "the file%s", rest.c_str());
    }
}

UtcTime utcNow()
{
    SYSTEMTIME now{};
    GetSystemTime(&now);
    UtcTime t;
    t.year = now.wYear;
    t.month = now.wMonth;
    t.day = now.wDay;
    t.hour = now.wHour;
    t.minute = now.wMinute;
    t.second = now.wSecond;
    t.millisecond = now.wMilliseconds;
    return t;
}

void setInteractive(bool interactive) { gInteractive = interactive; }
bool isInteractive() { return gInteractive; }

void messageBox(const char* caption, const char* text, MessageIcon icon)
{
    if (!caption) caption = "";
    if (!text) text = "";
    if (gInteractive && haveDisplay()) {
        const UINT style = MB_OK | (icon == MessageIcon::error ? MB_ICONEXCLAMATION : MB_ICONINFORMATION);
        if (MessageBoxA(nullptr, text, caption, style) != 0) return;
    }
    std::fprintf(stderr, "[%s] %s\n", caption, text);
    std::fflush(stderr);
}

} // namespace platform
