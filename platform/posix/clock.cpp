// POSIX systems: the wall-clock time in UTC.
#include "platform/clock.h"

#include <chrono>
#include <ctime>

namespace platform {

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
