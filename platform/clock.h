// Time: the millisecond tick counter, a precise monotonic clock, the
// wall-clock time in UTC and a sleep.
#pragma once

#include "platform/api.h"

#include <cstdint>

namespace platform {

// Millisecond tick counter (wraps after 49 days, as 32-bit arithmetic expects).
KX_PLATFORM_API uint32_t ticks();
// A monotonic clock in milliseconds with sub-millisecond resolution.
KX_PLATFORM_API double preciseMilliseconds();

// Gives the processor away for about `milliseconds` (nothing for 0 or
// less). The system may wake the caller late, by up to a scheduler tick
// (well under a millisecond on Linux, about one on Windows), never early
// by more than its clock's resolution: callers that need an exact moment
// sleep to shortly before it and wait out the rest on preciseMilliseconds.
KX_PLATFORM_API void sleepMilliseconds(double milliseconds);

// Gives the processor away until preciseMilliseconds() reaches deadline: an
// absolute wait, so a wake-up for a signal or a slow call before it does not
// add up. Returns at once when the deadline has passed. Wakes late by the
// system's wake-up error (tens of microseconds on an idle Linux system, up
// to a scheduler tick where no high-resolution timer is available).
KX_PLATFORM_API void sleepUntil(double deadline);

struct UtcTime {
    unsigned year, month, day;
    unsigned hour, minute, second, millisecond;
};

// The current wall-clock time in UTC.
KX_PLATFORM_API UtcTime utcNow();

} // namespace platform
