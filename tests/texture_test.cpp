// cTexture and cLargeTexture against a real GL context: a hidden window of
// SDL's offscreen driver on Mesa's software renderer.
#include "common/media/format_tga.h"
#include "common/media/gif_animation.h"
#include "common/media/stream.h"
#include "common/media/texture.h"
#include "common/scene/named_texture.h"
#include "common/scene/scene_registry.h"
#include "effects/large_texture.h"
#include "gif_builder.h"
#include "test_util.h"
#include "tga_builder.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>
#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using kxtest::testPixels;
using kxtest::TgaFile;

namespace {

// Mesa keeps allocations of its own past context teardown; they are not ours.
struct DriverAllocations {
#if defined(__SANITIZE_ADDRESS__)
    DriverAllocations() { __lsan_disable(); }
    ~DriverAllocations() { __lsan_enable(); }
#endif
};

// One context for the whole process, made on first use and kept to the end:
// the driver frees some of its memory only when it is unloaded, which would
// otherwise show as leaks of textures that were deleted long before.
class GLTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (window_ || !why_.empty()) return;
        [[maybe_unused]] DriverAllocations ignore;
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            why_ = std::string("no video: ") + SDL_GetError();
            return;
        }
        window_ = SDL_CreateWindow("kx", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        context_ = window_ ? SDL_GL_CreateContext(window_) : nullptr;
        if (!context_) why_ = std::string("no GL context: ") + SDL_GetError();
    }
    void SetUp() override
    {
        if (!context_) GTEST_SKIP() << why_;
        while (glGetError() != GL_NO_ERROR) { }
    }
    void TearDown() override
    {
        if (context_) {
            EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        }
    }

    static int levelWidth(unsigned id)
    {
        GLint w = -1;
        glBindTexture(GL_TEXTURE_2D, id);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        return w;
    }
    static std::string readBack(unsigned id, GLenum format, size_t bytes)
    {
        std::string out(bytes, '\0');
        glBindTexture(GL_TEXTURE_2D, id);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, format, GL_UNSIGNED_BYTE, &out[0]);
        return out;
    }

    static SDL_Window* window_;
    static SDL_GLContext context_;
    static std::string why_;
};

SDL_Window* GLTest::window_ = nullptr;
SDL_GLContext GLTest::context_ = nullptr;
std::string GLTest::why_;

std::string createPrinting(cTexture& t, int w, int h, int bits, int& result)
{
    testing::internal::CaptureStdout();
    result = t.create(w, h, bits);
    return testing::internal::GetCapturedStdout();
}

// ---- cTexture ----------------------------------------------------------------

using TextureTest = GLTest;

TEST_F(TextureTest, AcceptsPowersOfTwoFrom8To2048)
{
    const std::pair<int, int> good[] = {{8, 2048}, {2048, 8}, {8, 8}, {256, 128}, {1024, 16}};
    for (auto [w, h] : good) {
        cTexture t;
        int result = -2;
        EXPECT_EQ(createPrinting(t, w, h, 24, result), "");
        EXPECT_EQ(result, 0) << w << "x" << h;
        EXPECT_NE(t.id, 0u);
        EXPECT_TRUE(glIsTexture(t.id));
        EXPECT_EQ(t.width, w);
        EXPECT_EQ(t.height, h);
        EXPECT_EQ(t.bytesPerPixel, 3);
        EXPECT_EQ(levelWidth(t.id), w);
        t.destroy();
    }
}

TEST_F(TextureTest, RefusesOtherSidesWithoutMakingAName)
{
    const std::pair<int, int> bad[] = {{4, 4}, {4096, 4096}, {640, 480}, {0, 0}, {8, 4}, {-8, 8}, {8, 12}, {3, 2048}};
    for (auto [w, h] : bad) {
        cTexture t;
        int result = 0;
        EXPECT_EQ(createPrinting(t, w, h, 32, result), "error bad texture dimensions\n") << w << "x" << h;
        EXPECT_EQ(result, -1);
        EXPECT_EQ(t.id, 0u);
        EXPECT_EQ(t.width, 0);
    }
    // A refused create leaves a live texture as it was.
    cTexture live;
    ASSERT_EQ(live.create(16, 16, 32), 0);
    const unsigned id = live.id;
    int result = 0;
    createPrinting(live, 640, 480, 32, result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(live.id, id);
    EXPECT_EQ(live.width, 16);
    EXPECT_TRUE(glIsTexture(id));
    live.destroy();
}

TEST_F(TextureTest, UpdateUploadsPackedBgrAndBgraRows)
{
    // 256 x 128 at 24 bits: 98 304 bytes, rows end to end.
    cTexture rgb;
    ASSERT_EQ(rgb.create(256, 128, 24), 0);
    const std::string pixels = testPixels(256, 128, 3);
    ASSERT_EQ(pixels.size(), 98304u);
    rgb.update(pixels.data());
    EXPECT_EQ(readBack(rgb.id, GL_BGR_EXT, pixels.size()), pixels);
    // Red is the third byte of a BGR pixel.
    const std::string asRgb = readBack(rgb.id, GL_RGB, pixels.size());
    EXPECT_EQ(asRgb[0], pixels[2]);
    EXPECT_EQ(asRgb[2], pixels[0]);
    rgb.destroy();

    cTexture rgba;
    ASSERT_EQ(rgba.create(8, 16, 32), 0);
    EXPECT_EQ(rgba.bytesPerPixel, 4);
    const std::string bgra = testPixels(8, 16, 4, 9);
    rgba.update(bgra.data());
    EXPECT_EQ(readBack(rgba.id, GL_BGRA_EXT, bgra.size()), bgra);
    // update again replaces the whole image in place, same name.
    const unsigned id = rgba.id;
    const std::string second = testPixels(8, 16, 4, 23);
    rgba.update(second.data());
    EXPECT_EQ(rgba.id, id);
    EXPECT_EQ(readBack(rgba.id, GL_BGRA_EXT, second.size()), second);
    rgba.destroy();
}

TEST_F(TextureTest, BindSetsLinearRepeatModulate)
{
    cTexture t;
    ASSERT_EQ(t.create(32, 32, 24), 0);
    glBindTexture(GL_TEXTURE_2D, t.id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDisable(GL_TEXTURE_2D);

    t.bind();
    GLint bound = 0, minFilter = 0, magFilter = 0, wrapS = 0, wrapT = 0, env = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapT);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &env);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(static_cast<unsigned>(bound), t.id);
    EXPECT_EQ(minFilter, GL_LINEAR);
    EXPECT_EQ(magFilter, GL_LINEAR);
    EXPECT_EQ(wrapS, GL_REPEAT);
    EXPECT_EQ(wrapT, GL_REPEAT);
    EXPECT_EQ(env, GL_MODULATE);
    t.destroy();
    glDisable(GL_TEXTURE_2D);
}

TEST_F(TextureTest, EmptyTexturesDoNothing)
{
    glDisable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    cTexture never;
    const std::string pixels(64 * 4, 'x');
    never.bind();
    never.update(pixels.data());
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(never.id, 0u);

    cTexture refused;
    int result = 0;
    createPrinting(refused, 4, 4, 24, result);
    refused.bind();
    refused.update(pixels.data());
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));

    // No pixels: nothing is read.
    cTexture live;
    ASSERT_EQ(live.create(8, 8, 32), 0);
    live.update(nullptr);
    live.destroy();
    glDisable(GL_TEXTURE_2D);
}

TEST_F(TextureTest, DestroyDeletesOnceAndKeepsTheSize)
{
    cTexture t;
    ASSERT_EQ(t.create(64, 8, 32), 0);
    const unsigned id = t.id;
    t.destroy();
    EXPECT_EQ(t.id, 0u);
    EXPECT_FALSE(glIsTexture(id));
    EXPECT_EQ(t.width, 64);
    EXPECT_EQ(t.height, 8);
    EXPECT_EQ(t.bytesPerPixel, 4);
    // A new texture may take the freed name; a second destroy must not
    // delete it.
    cTexture other;
    ASSERT_EQ(other.create(8, 8, 24), 0);
    t.destroy();
    EXPECT_TRUE(glIsTexture(other.id));
    other.destroy();
}

TEST_F(TextureTest, CreatingAgainReleasesTheEarlierName)
{
    cTexture t;
    ASSERT_EQ(t.create(8, 8, 24), 0);
    const unsigned first = t.id;
    ASSERT_EQ(t.create(16, 16, 32), 0);
    EXPECT_NE(t.id, 0u);
    EXPECT_EQ(t.width, 16);
    EXPECT_EQ(levelWidth(t.id), 16);
    if (t.id != first) {
        EXPECT_FALSE(glIsTexture(first));
    }
    t.destroy();
}

// ---- cLargeTexture -----------------------------------------------------------

TEST(LargeTextureSplit, GreedyPowersOfTwoUpTo256)
{
    EXPECT_EQ(cLargeTexture::split(640), (std::vector<int>{256, 256, 128}));
    EXPECT_EQ(cLargeTexture::split(480), (std::vector<int>{256, 128, 64, 32}));
    EXPECT_EQ(cLargeTexture::split(800), (std::vector<int>{256, 256, 256, 32}));
    EXPECT_EQ(cLargeTexture::split(256), (std::vector<int>{256}));
    EXPECT_EQ(cLargeTexture::split(10), (std::vector<int>{8, 2}));
    EXPECT_EQ(cLargeTexture::split(0), (std::vector<int>{}));
    EXPECT_EQ(cLargeTexture::split(-5), (std::vector<int>{}));
    int sum = 0;
    for (int piece : cLargeTexture::split(16383)) sum += piece;
    EXPECT_EQ(sum, 16383);
}

// One vertex from feedback: window position and texture coordinates.
struct Vertex {
    float x, y, s, t;
};

class LargeTextureTest : public GLTest {
protected:
    void SetUp() override
    {
        GLTest::SetUp();
        if (IsSkipped()) return;
        dir_.reset(new kxtest::TempDir());
    }
    void TearDown() override
    {
        dir_.reset();
        GLTest::TearDown();
    }

    // Writes data/textures/<name> as an uncompressed TGA.
    static std::string writeTga(const char* name, int w, int h, int depth, const std::string& pixels)
    {
        TgaFile f;
        f.width = w;
        f.height = h;
        f.depth = depth;
        f.type = depth == 8 ? 3 : 2;
        f.data = pixels;
        kxtest::writeDataFile(std::string("textures/") + name, f.bytes());
        return name;
    }

    static int createQuiet(cLargeTexture& large, const std::string& name, std::string* console = nullptr)
    {
        testing::internal::CaptureStdout();
        const int result = large.create(name.c_str());
        const std::string printed = testing::internal::GetCapturedStdout();
        if (console) *console = printed;
        return result;
    }

    // The vertices a display list sends, through feedback, in the unit
    // square's coordinates: [-1, 3] is mapped onto a 1000 x 1000 viewport so
    // that nothing on the square's edges is clipped.
    static std::vector<Vertex> feedback(unsigned list)
    {
        glViewport(0, 0, 1000, 1000);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(-1, 3, -1, 3, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        std::vector<GLfloat> buffer(4096);
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
        glRenderMode(GL_FEEDBACK);
        glCallList(list);
        const GLint n = glRenderMode(GL_RENDER);
        std::vector<Vertex> vertices;
        // Each vertex: x y z, colour (4), texture coordinates (4).
        for (GLint i = 0; i < n;) {
            if (buffer[i] == GL_POLYGON_TOKEN) {
                const int count = static_cast<int>(buffer[i + 1]);
                i += 2;
                for (int v = 0; v < count; ++v, i += 11)
                    vertices.push_back({buffer[i] / 250 - 1, buffer[i + 1] / 250 - 1, buffer[i + 7], buffer[i + 8]});
            } else {
                ADD_FAILURE() << "unexpected feedback token " << buffer[i];
                break;
            }
        }
        return vertices;
    }

    static bool near(float a, float b) { return std::fabs(a - b) < 1e-4f; }

    // Expects the vertices (in any order, as triangles or one quad) to be
    // exactly the four corners given.
    static void expectCorners(const std::vector<Vertex>& got, const std::vector<Vertex>& corners)
    {
        ASSERT_FALSE(got.empty());
        for (const Vertex& v : got) {
            bool found = false;
            for (const Vertex& c : corners)
                found = found || (near(v.x, c.x) && near(v.y, c.y) && near(v.s, c.s) && near(v.t, c.t));
            EXPECT_TRUE(found) << v.x << "," << v.y << " st " << v.s << "," << v.t;
        }
        for (const Vertex& c : corners) {
            bool found = false;
            for (const Vertex& v : got)
                found = found || (near(v.x, c.x) && near(v.y, c.y) && near(v.s, c.s) && near(v.t, c.t));
            EXPECT_TRUE(found) << "missing corner " << c.x << "," << c.y;
        }
    }

    std::unique_ptr<kxtest::TempDir> dir_;
};

TEST_F(LargeTextureTest, TilesA640x480ImageIntoTwelvePowerOfTwoTiles)
{
    const std::string pixels = testPixels(640, 480, 3);
    cLargeTexture large;
    std::string console;
    ASSERT_EQ(createQuiet(large, writeTga("big.tga", 640, 480, 24, pixels), &console), 1) << console;
    EXPECT_EQ(console, "load[data/textures/big.tga]\n");
    ASSERT_EQ(large.columns(), 3u);
    ASSERT_EQ(large.rows(), 4u);

    const int widths[] = {256, 256, 128};
    const int heights[] = {256, 128, 64, 32};
    const int xs[] = {0, 256, 512};
    const int ys[] = {0, 256, 384, 448};
    for (unsigned r = 0; r < 4; ++r)
        for (unsigned c = 0; c < 3; ++c) {
            const cLargeTexture::cTile* t = large.tile(c, r);
            ASSERT_NE(t, nullptr);
            EXPECT_EQ(t->width, widths[c]);
            EXPECT_EQ(t->height, heights[r]);
            EXPECT_EQ(t->x, xs[c]);
            EXPECT_EQ(t->y, ys[r]);
            EXPECT_EQ(t->texture.width, widths[c]);
            EXPECT_EQ(t->texture.height, heights[r]);
            EXPECT_NE(t->list, 0u);
        }
    EXPECT_EQ(large.tile(3, 0), nullptr);
    EXPECT_EQ(large.tile(0, 4), nullptr);

    // Column 2, row 3: 128 x 32 at (512, 448), holding exactly that part of
    // the image.
    const cLargeTexture::cTile* corner = large.tile(2, 3);
    std::string expect;
    for (int row = 0; row < 32; ++row)
        expect += pixels.substr((static_cast<size_t>(448 + row) * 640 + 512) * 3, 128 * 3);
    EXPECT_EQ(readBack(corner->texture.id, GL_BGR_EXT, expect.size()), expect);

    // It covers x 0.8 to 1.0 and y 0.9333 to 1.0, inset half a texel.
    const float s0 = 1.0f / 256, t0 = 1.0f / 64;
    const float yLow = 448.0f / 480;
    expectCorners(feedback(corner->list),
                  {{0.8f, yLow, s0, t0}, {1, yLow, 1 - s0, t0}, {1, 1, 1 - s0, 1 - t0}, {0.8f, 1, s0, 1 - t0}});
    // The first tile: 256 x 256 from the origin.
    const float h0 = 1.0f / 512;
    expectCorners(
        feedback(large.tile(0, 0)->list),
        {{0, 0, h0, h0}, {0.4f, 0, 1 - h0, h0}, {0.4f, 256.0f / 480, 1 - h0, 1 - h0}, {0, 256.0f / 480, h0, 1 - h0}});
}

TEST_F(LargeTextureTest, A256SquareIsOneTileOverTheUnitSquare)
{
    cLargeTexture large;
    ASSERT_EQ(createQuiet(large, writeTga("sq.tga", 256, 256, 32, testPixels(256, 256, 4))), 1);
    ASSERT_EQ(large.columns(), 1u);
    ASSERT_EQ(large.rows(), 1u);
    const float h = 1.0f / 512;
    expectCorners(feedback(large.tile(0, 0)->list),
                  {{0, 0, h, h}, {1, 0, 1 - h, h}, {1, 1, 1 - h, 1 - h}, {0, 1, h, 1 - h}});
    EXPECT_EQ(large.tile(0, 0)->texture.bytesPerPixel, 4);
}

TEST_F(LargeTextureTest, DrawClampsEveryTileAndLeavesDepthTestingOff)
{
    cLargeTexture large;
    ASSERT_EQ(createQuiet(large, writeTga("d.tga", 384, 8, 24, testPixels(384, 8, 3))), 1);
    ASSERT_EQ(large.columns(), 2u);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glDepthMask(GL_TRUE);
    glViewport(0, 0, 64, 64);
    large.draw();
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLboolean mask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_EQ(mask, GL_TRUE);
    for (unsigned c = 0; c < 2; ++c) {
        GLint wrapS = 0, wrapT = 0, minFilter = 0;
        glBindTexture(GL_TEXTURE_2D, large.tile(c, 0)->texture.id);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &wrapS);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &wrapT);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
        EXPECT_EQ(wrapS, GL_CLAMP);
        EXPECT_EQ(wrapT, GL_CLAMP);
        EXPECT_EQ(minFilter, GL_LINEAR);
    }
    glDisable(GL_TEXTURE_2D);
}

TEST_F(LargeTextureTest, EightBitImagesGiveTilesWithTheirPicture)
{
    const std::string grey = testPixels(640, 480, 1);
    cLargeTexture large;
    ASSERT_EQ(createQuiet(large, writeTga("grey.tga", 640, 480, 8, grey)), 1);
    ASSERT_EQ(large.columns(), 3u);
    ASSERT_EQ(large.rows(), 4u);
    for (unsigned r = 0; r < 4; ++r)
        for (unsigned c = 0; c < 3; ++c) {
            EXPECT_NE(large.tile(c, r)->texture.id, 0u);
            EXPECT_EQ(levelWidth(large.tile(c, r)->texture.id), large.tile(c, r)->width);
        }
    // Column 2, row 3: 128 x 32 at (512, 448), grey as blue, green and red.
    std::string expect;
    for (int row = 0; row < 32; ++row)
        for (int x = 0; x < 128; ++x) expect += std::string(3, grey[static_cast<size_t>(448 + row) * 640 + 512 + x]);
    EXPECT_EQ(readBack(large.tile(2, 3)->texture.id, GL_BGR_EXT, expect.size()), expect);
}

// A GIF of two frames, 10 hundredths each: the first all the global
// palette's colour 1 but the top left pixel, colour 0; the second colour 2
// with the top left pixel transparent, so the first frame's shows through.
std::string twoFrameGif(int width, int height)
{
    kxtest::File f;
    f.width = width, f.height = height, f.globalBits = 2;
    for (int i = 0; i < 2; ++i) {
        kxtest::Frame fr;
        fr.width = width, fr.height = height;
        fr.pixels.assign(static_cast<size_t>(width * height), static_cast<unsigned char>(i + 1));
        fr.pixels[0] = 0;
        fr.plainControl = true;
        fr.transparent = i == 1 ? 0 : -1;
        fr.delay = 10;
        f.frames.push_back(fr);
    }
    return kxtest::writeGif(f);
}

// Every texel of a texture as blue, green, red, alpha.
std::string texels(unsigned id, int count)
{
    std::string all(static_cast<size_t>(count) * 4, '\0');
    glBindTexture(GL_TEXTURE_2D, id);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA_EXT, GL_UNSIGNED_BYTE, &all[0]);
    return all;
}

std::string bgra(int index)
{
    const std::array<unsigned char, 3> c = kxtest::paletteColour(index, 1);
    return std::string{static_cast<char>(c[2]), static_cast<char>(c[1]), static_cast<char>(c[0]), '\xFF'};
}

// Bottom row first, so the top left pixel (index 0) is the first of the
// last row.
std::string expectedTexels(int width, int height, int frame)
{
    std::string out;
    for (int i = 0; i < width * height; ++i) {
        const bool topLeft = i == (height - 1) * width;
        out += topLeft ? bgra(0) : bgra(frame + 1);
    }
    return out;
}

TEST_F(LargeTextureTest, AnimatedGifTilesFollowTheShowTimeLooping)
{
    kxtest::writeDataFile("textures/anim.gif", twoFrameGif(16, 8));
    cLargeTexture large;
    ASSERT_EQ(createQuiet(large, "anim.gif"), 1);
    ASSERT_EQ(large.tile(0, 0)->texture.bytesPerPixel, 4);
    const unsigned id = large.tile(0, 0)->texture.id;
    const struct {
        float seconds;
        int frame;
    } times[] = {{0.0f, 0}, {0.15f, 1}, {0.25f, 0}, {0.05f, 0}, {0.39f, 1}};
    for (auto t : times) {
        large.setShowTime(t.seconds);
        EXPECT_EQ(texels(id, 16 * 8), expectedTexels(16, 8, t.frame)) << t.seconds;
    }
}

TEST_F(LargeTextureTest, RegistryTexturesOfAnimatedGifsFollowTheShowClock)
{
    kxtest::writeDataFile("textures/anim.gif", twoFrameGif(8, 8));
    cSceneRegistry registry;
    testing::internal::CaptureStdout();
    cNamedTexture* t = registry.loadTexture("anim.gif");
    testing::internal::GetCapturedStdout();
    ASSERT_NE(t, nullptr);
    ASSERT_NE(t->animation, nullptr);
    ASSERT_EQ(t->texture.bytesPerPixel, 4);
    EXPECT_EQ(texels(t->texture.id, 64), expectedTexels(8, 8, 0));
    registry.setShowTime(0.12f);
    EXPECT_EQ(registry.showSeconds, 0.12f);
    EXPECT_EQ(texels(t->texture.id, 64), expectedTexels(8, 8, 1));
    registry.setShowTime(0.21f);
    EXPECT_EQ(texels(t->texture.id, 64), expectedTexels(8, 8, 0));
}

TEST_F(LargeTextureTest, TilesNarrowerThan8HaveNoTexture)
{
    // 650 = 256 + 256 + 128 + 8 + 2: the last column is 2 pixels wide.
    cLargeTexture large;
    std::string console;
    ASSERT_EQ(createQuiet(large, writeTga("n.tga", 650, 8, 24, testPixels(650, 8, 3)), &console), 1);
    ASSERT_EQ(large.columns(), 5u);
    EXPECT_NE(console.find("error bad texture dimensions\n"), std::string::npos);
    EXPECT_EQ(large.tile(4, 0)->width, 2);
    EXPECT_EQ(large.tile(4, 0)->x, 648);
    EXPECT_EQ(large.tile(4, 0)->texture.id, 0u);
    EXPECT_NE(large.tile(4, 0)->list, 0u);
    EXPECT_NE(large.tile(3, 0)->texture.id, 0u);
    large.draw();
    glDisable(GL_TEXTURE_2D);
}

TEST_F(LargeTextureTest, RefusesMissingOddAndSmallImages)
{
    cLargeTexture large;
    std::string console;
    EXPECT_EQ(createQuiet(large, "missing.tga", &console), -1);
    EXPECT_EQ(console, "load[data/textures/missing.tga]\nError: file not found data/textures/missing.tga\n"
                       "Warning cLargeTexture::create() error");
    kxtest::writeDataFile("textures/junk.tga", std::string(100, '\x7F'));
    EXPECT_EQ(createQuiet(large, "junk.tga", &console), -1);
    EXPECT_NE(console.find("Warning cLargeTexture::create() error"), std::string::npos);

    const struct {
        int w, h;
    } sizes[] = {{641, 480}, {640, 479}, {6, 6}, {8, 6}, {6, 8}};
    for (auto s : sizes) {
        EXPECT_EQ(createQuiet(large, writeTga("odd.tga", s.w, s.h, 24, testPixels(s.w, s.h, 3)), &console), -1)
            << s.w << "x" << s.h;
        EXPECT_EQ(console, "load[data/textures/odd.tga]\nWarning cLargeTexture: a " + std::to_string(s.w) + " x " +
                               std::to_string(s.h) + " image cannot be tiled (sides must be even and at least 8)\n");
        EXPECT_EQ(large.columns(), 0u);
        EXPECT_EQ(large.tile(0, 0), nullptr);
    }
    large.draw(); // empty: draws nothing
    glDisable(GL_TEXTURE_2D);
}

TEST_F(LargeTextureTest, CreatingAgainReleasesTheFirstTiles)
{
    cLargeTexture large;
    ASSERT_EQ(createQuiet(large, writeTga("a.tga", 640, 480, 24, testPixels(640, 480, 3))), 1);
    std::set<unsigned> oldLists, oldTextures;
    for (unsigned r = 0; r < large.rows(); ++r)
        for (unsigned c = 0; c < large.columns(); ++c) {
            oldLists.insert(large.tile(c, r)->list);
            oldTextures.insert(large.tile(c, r)->texture.id);
        }
    ASSERT_EQ(createQuiet(large, writeTga("b.tga", 256, 256, 24, testPixels(256, 256, 3))), 1);
    ASSERT_EQ(large.columns() * large.rows(), 1u);
    const unsigned newList = large.tile(0, 0)->list;
    const unsigned newTexture = large.tile(0, 0)->texture.id;
    for (unsigned list : oldLists)
        if (list != newList) {
            EXPECT_FALSE(glIsList(list)) << list;
        }
    for (unsigned id : oldTextures)
        if (id != newTexture) {
            EXPECT_FALSE(glIsTexture(id)) << id;
        }

    // A failed create leaves it empty too.
    EXPECT_EQ(createQuiet(large, "gone.tga"), -1);
    EXPECT_EQ(large.columns(), 0u);
    EXPECT_FALSE(glIsList(newList));
    EXPECT_FALSE(glIsTexture(newTexture));
}

} // namespace
