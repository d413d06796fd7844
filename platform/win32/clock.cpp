// Windows back end: the tick counter, the performance counter and the
// system time in UTC.
#include "platform/clock.h"

#include "platform/win32/native_window.h"

namespace platform {

uint32_t ticks() { return GetTickCount(); }

double preciseMilliseconds()
{
    static const double perMillisecond = [] {
        LARGE_INTEGER f{};
        QueryPerformanceFrequency(&f);
        return double(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / perMillisecond;
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

} // namespace platform
