// The music effect's three DSPs on known buffers, against values worked out
// by hand.
#include "effects/music_dsp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

std::vector<int16_t> frames(std::initializer_list<std::pair<int, int>> list)
{
    std::vector<int16_t> out;
    for (auto [l, r] : list) {
        out.push_back(static_cast<int16_t>(l));
        out.push_back(static_cast<int16_t>(r));
    }
    return out;
}

TEST(MusicDsp, FlangeInterpolatesTheDelayLineAndKeepsTheDrySample)
{
    sMusicDspLines lines;
    lines.flangePosition = 10.25f;
    lines.flange[10][0] = 1000;
    lines.flange[11][0] = 2000;
    lines.flange[10][1] = -400;
    lines.flange[11][1] = -800;
    sFlangeState s;
    s.sweep = 0.0f;
    auto buf = frames({{100, 50}});
    flangeBlock(s, lines, buf.data(), 4);
    // 0.75 * 1000 + 0.25 * 2000 = 1250, plus the input.
    EXPECT_EQ(buf[0], 1250 + 100);
    EXPECT_EQ(buf[1], -500 + 50);
    EXPECT_EQ(lines.flange[0][0], 100); // the dry sample goes into the line
    EXPECT_EQ(lines.flange[0][1], 50);
    EXPECT_EQ(s.writePosition, 1);

    // Loud input saturates instead of wrapping.
    lines.flangePosition = 10.0f;
    lines.flange[11][0] = 30000; // k = 10 + w(1) = 11
    auto loud = frames({{30000, 0}});
    flangeBlock(s, lines, loud.data(), 4);
    EXPECT_EQ(loud[0], 32767);
}

TEST(MusicDsp, FlangeSweepReversesAtTheEndsAndTheDirectionPersists)
{
    sMusicDspLines lines;
    lines.flangePosition = 349.9998f;
    sFlangeState s;
    std::vector<int16_t> buf(2 * 4, 0);
    flangeBlock(s, lines, buf.data(), static_cast<uint32_t>(buf.size() * 2));
    EXPECT_LT(s.sweep.load(), 0.0f);
    EXPECT_NEAR(std::fabs(s.sweep.load()), 0.0005f, 1e-9);
    EXPECT_LT(lines.flangePosition, 350.0f + 0.0006f);

    // A speed set from outside is used as it stands.
    lines.flangePosition = 100.0f;
    s.sweep = 0.002f;
    flangeBlock(s, lines, buf.data(), 4);
    EXPECT_NEAR(s.sweep.load(), 0.002f, 1e-9);

    // The write position wraps from 349 to 0.
    s.writePosition = 349;
    flangeBlock(s, lines, buf.data(), 4);
    EXPECT_EQ(s.writePosition, 0);
}

TEST(MusicDsp, FlangeKeepsItsSharedPositionFiniteWhateverTheSweep)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct {
        float sweep, position;
    } const cases[] = {
        {inf, 175.0f},    {-inf, 175.0f},   {nan, 175.0f},  {1e10f, 175.0f}, {-1e10f, 175.0f},
        {351.0f, 175.0f}, {350.0f, 349.0f}, {0.0005f, nan}, {0.0005f, inf},  {-350.0f, -1e30f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "sweep " << c.sweep << ", position " << c.position);
        sMusicDspLines lines;
        lines.flangePosition = c.position;
        sFlangeState s;
        s.sweep = c.sweep;
        // A 1000-strong tone: the dry signal plus the delay line read
        // between (or, off the line's ends, just beyond) two of its frames
        // stays within 4000, never the saturated noise of a lost position.
        std::vector<int16_t> buf(2 * 2000);
        for (size_t i = 0; i < buf.size(); ++i) buf[i] = static_cast<int16_t>(1000 * std::sin(0.05 * double(i / 2)));
        for (int block = 0; block < 3; ++block) {
            auto out = buf;
            flangeBlock(s, lines, out.data(), static_cast<uint32_t>(out.size() * 2));
            EXPECT_TRUE(std::isfinite(lines.flangePosition));
            EXPECT_GE(lines.flangePosition, -700.0f);
            EXPECT_LE(lines.flangePosition, 1050.0f);
            for (int16_t v : out) ASSERT_LE(std::abs(int(v)), 4000);
        }
    }
}

TEST(MusicDsp, EchoCrossFeedsAtHalfStrength1200FramesLater)
{
    sMusicDspLines lines;
    sEchoState s;
    std::vector<int16_t> buf(1201 * 2, 0);
    buf[0] = 1000; // left at frame 0
    buf[1] = -301; // right at frame 0
    echoBlock(s, lines, buf.data(), static_cast<uint32_t>(buf.size() * 2));
    EXPECT_EQ(buf[0], 1000);
    EXPECT_EQ(buf[1], -301);
    // Frame 1200 reads line entry 0: left gets right / 2 (toward zero), right gets left / 2.
    EXPECT_EQ(buf[2400], -150);
    EXPECT_EQ(buf[2401], 500);
    EXPECT_EQ(s.index, 1);

    // Saturation.
    sEchoState t;
    lines.echo[t.index][1] = 32767;
    auto loud = frames({{30000, 0}});
    echoBlock(t, lines, loud.data(), 4);
    EXPECT_EQ(loud[0], 32767);
}

TEST(MusicDsp, RotateScalesByAbsoluteSineAndCosine)
{
    sRotateState s;
    s.angle = 1.0f;
    auto buf = frames({{1000, 1000}, {-1000, -1000}});
    rotateBlock(s, buf.data(), 8);
    EXPECT_EQ(buf[0], static_cast<int16_t>(std::fabs(std::sin(1.0f)) * 1000)); // 841
    EXPECT_EQ(buf[1], static_cast<int16_t>(std::fabs(std::cos(1.0f)) * 1000)); // 540
    EXPECT_EQ(buf[0], 841);
    EXPECT_EQ(buf[1], 540);
    EXPECT_EQ(buf[2], -841);
    EXPECT_NEAR(s.angle, 1.00006f, 1e-6);

    // The angle wraps at pi.
    s.angle = 3.14158f;
    rotateBlock(s, buf.data(), 4);
    EXPECT_LT(s.angle, 0.001f);

    // A partial trailing frame is left alone.
    auto odd = frames({{500, 500}});
    sRotateState r;
    rotateBlock(r, odd.data(), 3);
    EXPECT_EQ(odd[0], 500);
}

} // namespace
