// Capture mode's progress lines: the text of one line from the figures.
#include "player/capture_progress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(CaptureProgress, LinesFromTheFigures)
{
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        sCaptureProgress p;
        const char* line;
    } const cases[] = {
        {"no rate yet", {1, 1800, 0, 0}, "capture: frame 1/1800 (0%)"},
        {"time left rounded up", {120, 1800, 45.2, 2.6}, "capture: frame 120/1800 (6%), 45.2 fps, 0:38 left"},
        {"last frame to go", {1799, 1800, 30, 60}, "capture: frame 1799/1800 (99%), 30.0 fps, 0:01 left"},
        {"complete", {1800, 1800, 30, 60}, "capture: frame 1800/1800 (100%), 30.0 fps, 0:00 left"},
        {"hours left", {5, 10000000, 1, 4}, "capture: frame 5/10000000 (0%), 1.0 fps, 2777:46:35 left"},
        {"no total", {3, 0, 10, 1}, "capture: frame 3/0 (0%), 10.0 fps, 0:00 left"},
        {"rate not finite", {3, 9, inf, 0}, "capture: frame 3/9 (33%)"},
        {"rate not a number", {3, 9, std::nan(""), 0}, "capture: frame 3/9 (33%)"},
    };
    for (const Case& c : cases) EXPECT_EQ(formatCaptureProgress(c.p), c.line) << c.what;

    EXPECT_EQ(formatCaptureSummary({1800, 1800, 45.0, 40.0}), "capture: 1800 of 1800 frames in 0:40 (45.0 fps)");
    EXPECT_EQ(formatCaptureSummary({1, 1800, 0, 0}), "capture: 1 of 1800 frames in 0:00");
}

TEST(CaptureProgress, Durations)
{
    const struct {
        double seconds;
        const char* text;
    } cases[] = {{0, "0:00"},       {0.01, "0:01"}, {59.2, "1:00"},         {3599.5, "1:00:00"},
                 {3661, "1:01:01"}, {-5, "0:00"},   {std::nan(""), "0:00"}, {1e300, "277777:46:40"}};
    for (const auto& c : cases) EXPECT_EQ(formatDuration(c.seconds), c.text) << c.seconds;
}

} // namespace
