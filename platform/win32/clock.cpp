// Windows back end: the tick counter, the performance counter, the
// system time in UTC and the sleep.
#include "platform/clock.h"

#include "platform/win32/native_window.h"

#include <cstdlib>
#include <mmsystem.h>

namespace platform {

namespace {

void endFineTicks() { timeEndPeriod(1); }

// Asks for the 1 ms scheduler tick once per process, whoever asks first,
// and gives it back when the process ends (the system asks every
// timeBeginPeriod to be paired).
bool fineTicks()
{
    static const bool granted = [] {
        if (timeBeginPeriod(1) != TIMERR_NOERROR) return false;
        std::atexit(&endFineTicks);
        return true;
    }();
    return granted;
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
    fineTicks();
    // Sleep counts whole milliseconds and may add a tick: round down.
    Sleep(static_cast<DWORD>(milliseconds));
}

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

void sleepUntil(double deadline)
{
    const double left = deadline - preciseMilliseconds();
    if (!(left > 0)) return;
    // A high-resolution waitable timer wakes within a fraction of a
    // millisecond (Windows 10 1803 on); where the system refuses one, a
    // plain waitable timer on the 1 ms scheduler tick; without either, Sleep.
    static const HANDLE timer = [] {
        HANDLE t = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
        if (!t) {
            fineTicks();
            t = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
        }
        return t;
    }();
    if (!timer) {
        sleepMilliseconds(left);
        return;
    }
    // Relative, in units of 100 ns: the timer's absolute time is the system
    // time, not the performance counter.
    LARGE_INTEGER due{};
    due.QuadPart = -static_cast<LONGLONG>((left < 86400000.0 ? left : 86400000.0) * 10000.0);
    if (!SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
        sleepMilliseconds(left);
        return;
    }
    WaitForSingleObject(timer, INFINITE);
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
