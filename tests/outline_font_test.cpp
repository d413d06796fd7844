// The outline-font call: metrics checked against FreeType's own numbers for
// the same file, and the display lists drawn offscreen and read back.
#include "gl_context.h"
#include "platform/outline_font.h"

#include <GL/gl.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using platform::GlyphMetricsFloat;

struct Built {
    std::vector<GlyphMetricsFloat> metrics = std::vector<GlyphMetricsFloat>(255);
    platform::OutlineFontChoice choice{};
    bool ok = false;
    std::string out;
};

Built build(const char* face, unsigned listBase = 0, float deviation = 0.01f, float extrusion = 0.1f)
{
    // Fontconfig loses a block while parsing its configuration, once per
    // process; that is not ours to find.
    static const bool configured = [] {
#if defined(__SANITIZE_ADDRESS__)
        __lsan_disable();
#endif
        const bool ok = FcInit() == FcTrue;
#if defined(__SANITIZE_ADDRESS__)
        __lsan_enable();
#endif
        return ok;
    }();
    EXPECT_TRUE(configured);
    Built b;
    testing::internal::CaptureStdout();
    b.ok = platform::useFontOutlines(face, false, 0, 255, listBase, deviation, extrusion, b.metrics.data(), &b.choice);
    b.out = testing::internal::GetCapturedStdout();
    return b;
}

// FreeType's unscaled advance of a character, in ems.
double freetypeAdvance(const std::string& file, unsigned character)
{
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) != 0) return -1;
    double advance = -1;
    if (FT_New_Face(library, file.c_str(), 0, &face) == 0) {
        FT_Fixed a = 0;
        const FT_UInt g = FT_Get_Char_Index(face, character);
        if (g && FT_Get_Advance(face, g, FT_LOAD_NO_SCALE, &a) == 0) advance = double(a) / face->units_per_EM;
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return advance;
}

TEST(OutlineFont, MetricsAreFreeTypeAdvancesOfWindows1252Characters)
{
    const Built b = build("DejaVu Sans");
    ASSERT_TRUE(b.ok) << b.out;
    EXPECT_TRUE(b.choice.exact);
    EXPECT_EQ(b.out, ""); // an exact match says nothing
    // A, W, i, underscore, space, e acute, and the euro sign at 0x80.
    const std::pair<unsigned char, unsigned> chars[] = {{'A', 'A'}, {'W', 'W'},   {'i', 'i'},    {'_', '_'},
                                                        {' ', ' '}, {0xE9, 0xE9}, {0x80, 0x20AC}};
    for (const auto& c : chars) {
        const double expected = freetypeAdvance(b.choice.file, c.second);
        ASSERT_GT(expected, 0) << int(c.first);
        EXPECT_NEAR(b.metrics[c.first].cellIncX, expected, 1e-6) << int(c.first);
    }
    // 'A' stands on the baseline with a cap height of about 0.73 em; the
    // underscore lies below the baseline; a space has no ink.
    EXPECT_NEAR(b.metrics['A'].glyphOriginY, 0.73, 0.03);
    EXPECT_NEAR(b.metrics['A'].blackBoxY, b.metrics['A'].glyphOriginY, 1e-6);
    EXPECT_LT(b.metrics['_'].glyphOriginY, 0.0f);
    EXPECT_EQ(b.metrics[' '].blackBoxX, 0.0f);
    // Control codes and unassigned Windows-1252 slots take no room.
    for (unsigned char c : {0x00, 0x0A, 0x81, 0x9D}) EXPECT_EQ(b.metrics[c].cellIncX, 0.0f) << int(c);
}

TEST(OutlineFont, UnknownFacesFallBackAndBadSettingsAreBounded)
{
    for (const char* face : {"No Such Face 12345", "", "Caf\xE9 \xFF\x81 Bold"}) {
        const Built b = build(face);
        ASSERT_TRUE(b.ok) << face;
        EXPECT_FALSE(b.choice.exact) << face;
        EXPECT_NE(b.out.find(std::string("outline font: no face \"")), std::string::npos) << b.out;
        EXPECT_NE(b.out.find(b.choice.file), std::string::npos) << b.out;
        EXPECT_GT(b.metrics['A'].cellIncX, 0.3f) << face;
    }
    // "Arial Black", not installed, still comes out heavy: its strokes are
    // much wider than those of the regular fallback face.
    const Built black = build("Arial Black"), regular = build("No Such Face 12345");
    EXPECT_GT(black.metrics['l'].blackBoxX, regular.metrics['l'].blackBoxX * 1.2f) << black.choice.file;

    GlyphMetricsFloat m[256];
    testing::internal::CaptureStdout();
    EXPECT_FALSE(platform::useFontOutlines("DejaVu Sans", false, 0, 257, 0, 0.01f, 0.1f, m));
    EXPECT_FALSE(platform::useFontOutlines("DejaVu Sans", false, 200, 100, 0, 0.01f, 0.1f, m));
    EXPECT_FALSE(platform::useFontOutlines("DejaVu Sans", false, -1, 10, 0, 0.01f, 0.1f, m));
    EXPECT_TRUE(platform::useFontOutlines(nullptr, true, 0, 256, 0, 0.01f, 0.1f, m));
    testing::internal::GetCapturedStdout();
    for (float deviation : {0.0f, -1.0f, NAN, INFINITY})
        for (float extrusion : {0.0f, -0.5f, NAN, INFINITY})
            EXPECT_TRUE(build("DejaVu Sans", 0, deviation, extrusion).ok) << deviation << " " << extrusion;
}

// Draws one glyph list into a 64 x 64 buffer and reads back its red
// channel, bottom row first. The view spans the glyph's black box in y and
// left..right in x, turned by 'turn' degrees about the y axis.
class OutlineFontGL : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(gl.ok());
        base = glGenLists(255);
        ASSERT_NE(base, 0u);
    }
    void TearDown() override
    {
        if (base) glDeleteLists(base, 255);
    }

    std::vector<unsigned char> draw(unsigned char code, const GlyphMetricsFloat& m, double left, double right,
                                    double turn = 0, bool lit = false)
    {
        glViewport(0, 0, 64, 64);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(left, right, m.glyphOriginY - m.blackBoxY, m.glyphOriginY, -5, 5);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        if (lit) {
            // Light along the view: only faces whose normals point at the
            // viewer come out bright.
            const GLfloat toViewer[] = {0, 0, 1, 0}, white[] = {1, 1, 1, 1}, black[] = {0, 0, 0, 1};
            glLightfv(GL_LIGHT0, GL_POSITION, toViewer);
            glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, white);
            glEnable(GL_LIGHT0);
            glEnable(GL_LIGHTING);
        } else {
            glDisable(GL_LIGHTING);
            glColor3f(1, 1, 1);
        }
        glRotated(turn, 0, 1, 0);
        glCallList(base + code);
        std::vector<unsigned char> red(64 * 64);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, 64, 64, GL_RED, GL_UNSIGNED_BYTE, red.data());
        return red;
    }
    static int at(const std::vector<unsigned char>& g, int x, int y) { return g[size_t(y) * 64 + size_t(x)]; }
    static int inked(const std::vector<unsigned char>& g)
    {
        return int(std::count_if(g.begin(), g.end(), [](unsigned char v) { return v > 128; }));
    }
    // Eye-space z of the last drawing at a pixel (z -5..5 maps to depth 1..0).
    static double eyeZ(int x, int y)
    {
        GLfloat d = 0;
        glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &d);
        return (0.5 - double(d)) * 10.0;
    }

    kxtest::GLContext gl;
    unsigned base = 0;
};

TEST_F(OutlineFontGL, TheHoleOfAnOSurvivesFrontAndBack)
{
    const Built b = build("DejaVu Sans", base, 0.005f, 0.2f);
    ASSERT_TRUE(b.ok) << b.out;
    const GlyphMetricsFloat o = b.metrics['O'];
    const double left = o.glyphOriginX, right = o.glyphOriginX + o.blackBoxX;
    const auto front = draw('O', o, left, right);
    EXPECT_EQ(at(front, 32, 32), 0); // the hole
    for (auto p : {std::pair<int, int>{2, 32}, {61, 32}, {32, 2}, {32, 61}})
        EXPECT_EQ(at(front, p.first, p.second), 255);
    EXPECT_EQ(at(front, 1, 1), 0); // outside the ring
    // Turned around, culling the front: the back face shows the same ring.
    const auto back = draw('O', o, -right, -left, 180);
    EXPECT_EQ(at(back, 32, 32), 0);
    EXPECT_EQ(at(back, 2, 32), 255);
    EXPECT_NEAR(inked(back), inked(front), inked(front) / 50);
}

TEST_F(OutlineFontGL, SideWallsFaceOutwardAndFlatGlyphsHaveNone)
{
    const float depth = 0.3f;
    Built b = build("DejaVu Sans", base, 0.005f, depth);
    const GlyphMetricsFloat l = b.metrics['l'];
    // Turned by -90 degrees, the glyph's right side faces the viewer with
    // its depth running over x = 0..depth. Lit along the view, that wall is
    // bright and nearest; walls wound or lit inside out would show dark, or
    // show the far left wall instead.
    auto side = draw('l', l, -0.05, depth + 0.05, -90, true);
    const int mid = int(64 * (0.05 + depth / 2) / (depth + 0.1));
    EXPECT_GT(at(side, mid, 32), 200);
    EXPECT_NEAR(eyeZ(mid, 32), l.glyphOriginX + l.blackBoxX, 0.01);
    EXPECT_EQ(at(side, 1, 32), 0);
    EXPECT_GT(at(draw('l', l, l.glyphOriginX, l.glyphOriginX + l.blackBoxX, 0, true), 32, 32), 200);

    // Extrusion 0: only the front face, so nothing from behind or the side.
    b = build("DejaVu Sans", base, 0.005f, 0.0f);
    EXPECT_GT(inked(draw('l', l, l.glyphOriginX, l.glyphOriginX + l.blackBoxX)), 1000);
    EXPECT_EQ(inked(draw('l', l, -l.glyphOriginX - l.blackBoxX, -l.glyphOriginX, 180)), 0);
    EXPECT_EQ(inked(draw('l', l, -0.05, depth + 0.05, -90, true)), 0);
}

TEST_F(OutlineFontGL, ListsEndWithTheAdvanceAndCurvesFollowTheDeviation)
{
    const Built fine = build("DejaVu Sans", base, 0.0005f, 0.1f);
    GLfloat m[16];
    glLoadIdentity();
    glCallList(base + 'W');
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    EXPECT_NEAR(m[12], fine.metrics['W'].cellIncX, 1e-6);

    // The O flattened finely and coarsely differs, but only by pixels within
    // the deviation of the fine outline; the straight I does not differ.
    const GlyphMetricsFloat o = fine.metrics['O'], i = fine.metrics['I'];
    const auto fineO = draw('O', o, o.glyphOriginX, o.glyphOriginX + o.blackBoxX);
    const auto fineI = draw('I', i, i.glyphOriginX, i.glyphOriginX + i.blackBoxX);
    const float deviation = 0.04f;
    build("DejaVu Sans", base, deviation, 0.1f);
    const auto coarseO = draw('O', o, o.glyphOriginX, o.glyphOriginX + o.blackBoxX);
    EXPECT_EQ(draw('I', i, i.glyphOriginX, i.glyphOriginX + i.blackBoxX), fineI);

    // Fine ink pixels next to background; beyond the picture is background.
    auto ink = [&](int x, int y) { return x >= 0 && y >= 0 && x < 64 && y < 64 && at(fineO, x, y) > 128; };
    std::vector<std::pair<int, int>> edge;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            if (ink(x, y) && (!ink(x - 1, y) || !ink(x + 1, y) || !ink(x, y - 1) || !ink(x, y + 1)))
                edge.push_back({x, y});
    int differing = 0;
    double farthest = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            if (ink(x, y) == (at(coarseO, x, y) > 128)) continue;
            ++differing;
            double nearest = 1e9;
            for (const auto& e : edge) nearest = std::min(nearest, std::hypot(e.first - x, e.second - y));
            farthest = std::max(farthest, nearest);
        }
    const double limit = deviation * 64.0 / o.blackBoxX; // in pixels
    EXPECT_GT(differing, 40);
    EXPECT_LE(farthest, limit + 1.5);
    EXPECT_GT(farthest, limit / 4);
}

} // namespace
