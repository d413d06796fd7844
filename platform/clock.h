// Time: the millisecond tick counter, a precise monotonic clock and the
// wall-clock time in UTC.
#pragma once

#include "platform/api.h"

#include <cstdint>

namespace platform {

// Millisecond tick counter (wraps after 49 days, as 32-bit arithmetic expects).
KX_PLATFORM_API uint32_t ticks();
// A monotonic clock in milliseconds with sub-millisecond resolution.
KX_PLATFORM_API double preciseMilliseconds();

struct UtcTime {
    unsigned year, month, day;
    unsigned hour, minute, second, millisecond;
};

// The current wall-clock time in UTC.
KX_PLATFORM_API UtcTime utcNow();

} // namespace platform
