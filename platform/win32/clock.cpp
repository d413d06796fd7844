// Windows back end: the tick counter, the performance counter, the
// system time in UTC and the sleep.
#include "platform/clock.h"

#include "platform/win32/native_window.h"

#include <mmsystem.h>

#include <cstdlib>

namespace platform {

namespace {

void endFineTicks() { timeEndPeriod(1); }

// Asks once for the 1 ms scheduler tick, and gives it back when the
// process ends (the system asks every timeBeginPeriod to be paired).
bool beginFineTicks()
{
    if (timeBeginPeriod(1) != TIMERR_NOERROR) return false;
    std::atexit(&endFineTicks);
    return true;
}

} // namespace

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

void sleepMilliseconds(double milliseconds)
{
    if (!(milliseconds > 0)) return;
    if (milliseconds > 86400000.0) milliseconds = 86400000.0;
    // Windows wakes sleepers on its scheduler tick, 15.6 ms unless a
    // process asks for 1 ms; asked once, it holds until the process ends.
    static const bool fineTicks = beginFineTicks();
    (void)fineTicks;
    // Sleep counts whole milliseconds and may add a tick: round down.
    Sleep(static_cast<DWORD>(milliseconds));
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
