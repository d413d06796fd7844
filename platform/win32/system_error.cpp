// Windows back end: the text of a system error code.
#include "platform/win32/native_window.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace platform {

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

} // namespace platform
