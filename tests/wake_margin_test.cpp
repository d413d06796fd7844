// Sleeping pacing: the margin learnt from late wake-ups, and the absolute
// sleep it is used with.
#include "platform/clock.h"
#include "player/wake_margin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(WakeMargin, CoversNineInTenOfTheRecentWakeUps)
{
    struct Case {
        const char* what;
        std::vector<double> late; // each wake-up's lateness, in order, repeated to fill the window
        double low, high;         // the margin afterwards
    };
    const Case cases[] = {
        {"punctual wake-ups keep the least margin", {0.0}, cWakeMargin::kLeast, cWakeMargin::kLeast},
        {"steady lateness is covered", {0.3}, 0.3, 0.45},
        {"one wake-up in twenty far late is not chased", {0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1,
                                                           0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 5.0},
         0.1, 0.2},
        {"one in five far late is", {0.1, 0.1, 0.1, 0.1, 1.2}, 1.2, 1.6},
        {"lateness beyond the spinning share is capped", {30.0}, cWakeMargin::kMost, cWakeMargin::kMost},
        {"early wake-ups and NaN count as on time", {-3.0, std::nan("")}, cWakeMargin::kLeast, cWakeMargin::kLeast},
    };
    for (const Case& c : cases) {
        cWakeMargin m;
        EXPECT_DOUBLE_EQ(m.wakeTarget(100.0), 100.0 - cWakeMargin::kFirst) << c.what;
        for (int i = 0; i < cWakeMargin::kSamples; i++) m.noteWake(50.0, 50.0 + c.late[size_t(i) % c.late.size()]);
        EXPECT_GE(m.margin(), c.low) << c.what;
        EXPECT_LE(m.margin(), c.high) << c.what;
        EXPECT_DOUBLE_EQ(m.wakeTarget(100.0), 100.0 - m.margin()) << c.what;
    }
}

TEST(WakeMargin, ForgetsWakeUpsOlderThanItsWindow)
{
    cWakeMargin m;
    for (int i = 0; i < cWakeMargin::kSamples; i++) m.noteWake(0.0, 1.5); // a busy spell
    EXPECT_GE(m.margin(), 1.5);
    for (int i = 0; i < cWakeMargin::kSamples; i++) m.noteWake(0.0, 0.1); // then a quiet one
    EXPECT_LE(m.margin(), 0.2);
}

TEST(SleepUntil, NeverWakesBeforeTheDeadline)
{
    for (double ahead : {0.5, 3.0}) {
        const double deadline = platform::preciseMilliseconds() + ahead;
        platform::sleepUntil(deadline);
        EXPECT_GE(platform::preciseMilliseconds(), deadline) << ahead << " ms ahead";
    }
    // A deadline that has passed returns at once: well under the second it
    // would be taken for if it were read as a length.
    const double start = platform::preciseMilliseconds();
    platform::sleepUntil(start - 1000.0);
    EXPECT_LT(platform::preciseMilliseconds() - start, 500.0);
}

} // namespace
