#include "player/wake_margin.h"

#include <algorithm>

void cWakeMargin::noteWake(double target, double woke)
{
    double late = woke - target;
    // A clock that stands still or a NaN counts as on time.
    if (!(late > 0)) late = 0;
    late_[next_] = late;
    next_ = (next_ + 1) % kSamples;
    if (count_ < kSamples) count_++;

    double sorted[kSamples] = {};
    std::copy(late_, late_ + count_, sorted);
    double* ninth = sorted + count_ * 9 / 10;
    std::nth_element(sorted, ninth, sorted + count_);
    // A little over the measured lateness, for the spin's own reading of
    // the clock.
    margin_ = std::clamp(*ninth * 1.25 + 0.02, kLeast, kMost);
}
