// The 3D text effect in the real player: "A_B" captured in each of the four
// letter styles, checked against where the perspective view must put the
// letters.
#include "player_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace kxtest;

// The player's view: 45 degrees of vertical field, a 192 x 96 window.
constexpr int kWidth = 192, kHeight = 96;
// The text's position: its A stands at x = px on the baseline y = py.
constexpr double kPx = -1.1, kPy = -1.0, kPz = -3.0;

// Pixels per world unit at the text's depth.
double ppu() { return (kHeight / 2.0) / (-kPz * std::tan(22.5 * M_PI / 180.0)); }
double screenX(double x) { return kWidth / 2.0 + x * ppu(); }
double screenY(double y) { return kHeight / 2.0 - y * ppu(); } // from the top

bool inked(const Image& img, int x, int y) { return img.at(x, y)[0] > 100; }

// The bounding box of the ink in columns first..last.
struct Box {
    int left = 1 << 20, right = -1, top = 1 << 20, bottom = -1;
};
Box box(const Image& img, int first, int last)
{
    Box b;
    for (int y = 0; y < img.height; ++y)
        for (int x = first; x <= last; ++x)
            if (inked(img, x, y)) {
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = std::min(b.top, y);
                b.bottom = std::max(b.bottom, y);
            }
    return b;
}

// The runs of columns holding ink: first and last column of each.
std::vector<std::pair<int, int>> runs(const Image& img)
{
    std::vector<std::pair<int, int>> out;
    int start = -1;
    for (int x = 0; x <= img.width; ++x) {
        bool any = false;
        for (int y = 0; x < img.width && y < img.height && !any; ++y) any = inked(img, x, y);
        if (any && start < 0) start = x;
        if (!any && start >= 0) out.push_back({start, x - 1});
        if (!any) start = -1;
    }
    return out;
}

TEST(FontCoolRun, TheFourLetterStylesOfAGap)
{
    TempDir dir;
    char tra[64];
    std::snprintf(tra, sizeof tra, "%g,%g,%g", kPx, kPy, kPz);
    // Frame i shows style i: the events switch the style at the start of
    // frames 1, 2 and 3.
    std::string script = "<demo name=\"fc\" width=\"" + std::to_string(kWidth) + "\" height=\"" +
                         std::to_string(kHeight) + "\">\n<loadplugin file=\"lumafold.dll\"/>\n" +
                         "<add type=\"clear\" name=\"bg\"/>\n<add type=\"fontcool\" name=\"txt\"/>\n" +
                         "<txt basefont=\"DejaVu Sans\" numtexts=\"1\">" +
                         "<text num=\"0\" active=\"1\" string=\"A_B\" tra=\"" + tra + "\"/></txt>\n" +
                         "<draworder effect=\"bg\" effect=\"txt\"/>\n";
    for (int style = 1; style < 4; ++style)
        script += "<event time=\"0.0" + std::to_string(style) + "\"><txt><text num=\"0\" style=\"" +
                  std::to_string(style) + "\"/></txt></event>\n";
    script += "<create/><load/><run/></demo>\n";
    writeDataFile("script.txt", script);
    const PlayerResult played = runPlayer("--capture cap --fps 100 --frames 4");
    ASSERT_EQ(played.status, 0) << played.out;
    EXPECT_NE(played.out.find("text0: A_B"), std::string::npos) << played.out;
    EXPECT_EQ(played.out.find("outline font: no face"), std::string::npos) << played.out;

    Image frames[4];
    for (int i = 0; i < 4; ++i) {
        frames[i] = readPng(frameName("cap", i));
        ASSERT_EQ(frames[i].width, kWidth) << "frame " << i;
    }
    const double unit = ppu();
    const double wave = std::sin(kPx); // the A's phase: it is the first letter
    std::vector<std::pair<int, int>> r[4];
    Box a[4];
    for (int i = 0; i < 4; ++i) {
        r[i] = runs(frames[i]);
        ASSERT_EQ(r[i].size(), 2u) << "frame " << i << ": A and B, apart";
        a[i] = box(frames[i], r[i][0].first, r[i][0].second);
    }
    auto gapOf = [&](int i) { return r[i][1].first - r[i][0].second - 1; };

    // Plain: a gap of at least an underscore's width (never under 0.4 em)
    // with no ink at all, and nothing below the baseline: the underscore
    // takes room and draws nothing.
    const int gap = gapOf(0);
    EXPECT_GE(gap, 0.4 * unit);
    EXPECT_LE(gap, 1.0 * unit);
    const Box all = box(frames[0], 0, kWidth - 1);
    EXPECT_NEAR(all.left, screenX(kPx), 0.1 * unit);
    EXPECT_NEAR(all.bottom, screenY(kPy), 1.5);
    const int heightA = a[0].bottom - a[0].top + 1;
    EXPECT_NEAR(heightA, 0.73 * unit, 2.5); // a cap height

    // Pulse: the A grows by |sin(px)| + 0.5 about its middle.
    EXPECT_NEAR(a[1].bottom - a[1].top + 1, heightA * (std::fabs(wave) + 0.5), 2.5);
    EXPECT_NEAR(a[1].top + a[1].bottom, a[0].top + a[0].bottom, 2.0);
    EXPECT_NEAR(a[1].left, a[0].left, 1.0);
    EXPECT_NEAR(gapOf(1), gap, 1.0);

    // Bounce: the A rises by |sin(px)| units, keeping its size and column.
    EXPECT_NEAR(a[0].bottom - a[2].bottom, std::fabs(wave) * unit, 1.5);
    EXPECT_NEAR(a[2].bottom - a[2].top + 1, heightA, 1.0);
    EXPECT_NEAR(a[2].left, a[0].left, 1.0);

    // Sway: risen as in bounce and moved sideways by 0.4 sin(px). The B, a
    // phase further on, barely moves, so here the gap widens.
    EXPECT_NEAR(a[3].bottom, a[2].bottom, 1.0);
    EXPECT_NEAR(a[3].left - a[0].left, 0.4 * wave * unit, 1.5);
    EXPECT_GT(gapOf(3), gap);
}

} // namespace
