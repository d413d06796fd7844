// The flash envelope as the frames see it: each update is one frame's step,
// and what a frame draws is the intensity after its update.
#include "effects/flash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// Fires the flash and returns the intensity drawn by each frame until it
// ends (at most 200 frames).
std::vector<float> envelope(float step, float attack, float sustain = 1.0f, float decay = 1.0f)
{
    cFlash flash;
    flash.attack = attack;
    flash.sustain = sustain;
    flash.decay = decay;
    flash.running = true;
    flash.sustainLeft = sustain;
    flash.phase = 1.0f;
    flash.intensity = 0.0f;
    std::vector<float> drawn;
    while (flash.running && drawn.size() < 200) {
        flash.update(step);
        drawn.push_back(flash.intensity);
    }
    return drawn;
}

TEST(FlashEnvelope, EveryFrameRateDrawsThePeakWithoutOvershootingMoreThanOneStep)
{
    struct Case {
        int fps;
        float attack, sustain;
    };
    const Case cases[] = {{10, 1, 1}, {20, 1, 1}, {25, 1, 1},       {30, 1, 1},       {40, 1, 1},
                          {50, 1, 1}, {60, 1, 1}, {100, 1, 1},      {20, 0.3f, 1},    {30, 0.3f, 1},
                          {10, 4, 0}, {30, 1, 0}, {24, 0.7f, 0.2f}, {12, 0.05f, 0.1f}};
    for (const Case& c : cases) {
        const float step = 100.0f / float(c.fps);
        const std::vector<float> drawn = envelope(step, c.attack, c.sustain);
        const float peak = *std::max_element(drawn.begin(), drawn.end());
        EXPECT_GE(peak, 1.0f) << c.fps << " fps, attack " << c.attack;
        // Above the plain steps at most one 10 ms step of the attack over full.
        if (step > cFlash::kLongestPlainStep) {
            EXPECT_LE(peak, 1.0f + 0.3f * c.attack + 1e-5f) << c.fps << " fps, attack " << c.attack;
        }
        EXPECT_EQ(drawn.back(), 0.0f) << c.fps << " fps: the flash ends";
    }
}

TEST(FlashEnvelope, ThePlayersOwnFramesKeepTheEnvelopeStepForStep)
{
    // 14 ms frames: the attack completes at 1.26 with the sustain already
    // running in that update, and the decay starts within the fifth.
    const std::vector<float> drawn = envelope(1.4f, 1.0f);
    const float expected[] = {0.42f, 0.84f, 1.26f, 1.26f, 0.84f, 0.42f};
    ASSERT_GE(drawn.size(), 6u);
    for (size_t i = 0; i < 6; ++i) EXPECT_NEAR(drawn[i], expected[i], 1e-4f) << "frame " << i;
    // 10 ms frames: the sequence of the reference envelope.
    const std::vector<float> plain = envelope(1.0f, 1.0f);
    const float plainExpected[] = {0.3f, 0.6f, 0.9f, 1.2f, 1.2f, 1.2f, 0.9f, 0.6f, 0.3f};
    for (size_t i = 0; i < 9; ++i) EXPECT_NEAR(plain[i], plainExpected[i], 1e-4f) << "frame " << i;
}

} // namespace
