// POSIX systems: the wall-clock time in UTC and the sleep.
#include "platform/clock.h"

#include <cerrno>
#include <chrono>
#include <ctime>

namespace platform {

void sleepMilliseconds(double milliseconds)
{
    // Not NaN, and at most a day, so the seconds fit whatever time_t is.
    if (!(milliseconds > 0)) return;
    if (milliseconds > 86400000.0) milliseconds = 86400000.0;
    const long long ns = static_cast<long long>(milliseconds * 1e6);
    timespec left{static_cast<std::time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    // A signal handled meanwhile (the stop request) does not cut the sleep
    // short: whoever sleeps looks at it afterwards.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) { }
}

void sleepUntil(double deadline)
{
    const double left = deadline - preciseMilliseconds();
    if (!(left > 0)) return;
    const long long ns = static_cast<long long>((left < 86400000.0 ? left : 86400000.0) * 1e6);
    // The deadline on the system's monotonic clock, which need not be the
    // clock preciseMilliseconds() reads: the two only need the same rate.
    timespec at{};
    clock_gettime(CLOCK_MONOTONIC, &at);
    const long long total = static_cast<long long>(at.tv_nsec) + ns % 1000000000;
    at.tv_sec += static_cast<std::time_t>(ns / 1000000000 + total / 1000000000);
    at.tv_nsec = static_cast<long>(total % 1000000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) { }
}

UtcTime utcNow()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    UtcTime t;
    t.year = static_cast<unsigned>(parts.tm_year + 1900);
    t.month = static_cast<unsigned>(parts.tm_mon + 1);
    t.day = static_cast<unsigned>(parts.tm_mday);
    t.hour = static_cast<unsigned>(parts.tm_hour);
    t.minute = static_cast<unsigned>(parts.tm_min);
    t.second = static_cast<unsigned>(parts.tm_sec);
    t.millisecond = static_cast<unsigned>(ms % 1000);
    return t;
}

} // namespace platform
