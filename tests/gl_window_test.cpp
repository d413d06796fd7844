// The GL window on the offscreen driver: creation, the first GL state, the
// projection on resize, the full-screen fallback and closing.
#include "common/script/xml_tag.h"
#include "platform/message_box.h"
#include "platform/window_system.h"
#include "player/demo.h"
#include "player/gl_window.h"
#include "player/log.h"
#include "test_util.h"

#include <GL/gl.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

class GLWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
#if defined(__SANITIZE_ADDRESS__)
        __lsan_disable(); // the GL driver's own allocations
#endif
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        platform::setInteractive(false);
    }
    void TearDown() override
    {
#if defined(__SANITIZE_ADDRESS__)
        __lsan_enable();
#endif
    }
};

// Every window the process has open now.
int liveWindows()
{
    int n = 0;
    for (Uint32 id = 1; id < 4096; ++id)
        if (SDL_GetWindowFromID(id)) ++n;
    return n;
}

struct cCountingWindow : cGLWindow {
    int resizes = 0;
    int lastWidth = 0, lastHeight = 0;
    void resize(int w, int h) override
    {
        ++resizes;
        lastWidth = w;
        lastHeight = h;
        cGLWindow::resize(w, h);
    }
};

TEST_F(GLWindow, CreatesWithTheFirstStateAndA45DegreeProjection)
{
    cCountingWindow w;
    cWindowSettings s;
    s.setTitle("gltest");
    s.width = 200;
    s.height = 100;
    ASSERT_TRUE(w.create(s));
    EXPECT_TRUE(w.created);
    EXPECT_NE(w.renderContext, nullptr);
    EXPECT_EQ(w.resizes, 1); // the explicit call, not messages from creation
    EXPECT_EQ(w.lastWidth, 200);
    EXPECT_EQ(w.width, 200);

    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    GLfloat diffuse[4] = {};
    glGetLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    EXPECT_FLOAT_EQ(diffuse[0], 1.0f);
    GLfloat ambient[4] = {1, 1, 1, 1};
    glGetLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    EXPECT_FLOAT_EQ(ambient[0], 0.0f);

    GLfloat p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    const double f = 1.0 / std::tan(45.0 * M_PI / 360.0);
    EXPECT_NEAR(p[5], f, 1e-5);
    EXPECT_NEAR(p[0], f / 2.0, 1e-5);
    const double n = double(0.2f), far = 400.0;
    EXPECT_NEAR(p[14], 2 * far * n / (n - far), 1e-5);

    w.resize(300, 100);
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    EXPECT_NEAR(p[0], f / 3.0, 1e-5);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 300);

    w.resize(300, 0); // a minimised window must not stop the program
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    EXPECT_TRUE(std::isfinite(p[0]));

    w.close();
    EXPECT_EQ(w.window, nullptr);
    EXPECT_EQ(w.renderContext, nullptr);
    EXPECT_FALSE(w.created);
    EXPECT_FALSE(platform::pumpMessages()); // closing posted the quit message
    EXPECT_TRUE(platform::pumpMessages());
}

TEST_F(GLWindow, FullScreenRewritesTheSettingsToAPopupAtTheOrigin)
{
    // The offscreen driver takes any display mode, so the switch succeeds.
    cGLWindow w;
    cWindowSettings s;
    s.setTitle("fstest");
    s.width = 123;
    s.height = 77;
    s.x = 40;
    s.y = 50;
    s.fullscreen = true;
    ASSERT_TRUE(w.create(s));
    EXPECT_TRUE(w.fullscreen);
    EXPECT_EQ(s.x, 0);
    EXPECT_EQ(s.y, 0);
    EXPECT_EQ(s.flags & 0x201, 0x201);
    EXPECT_EQ(w.x, 0);
    w.release();
    EXPECT_FALSE(w.fullscreen); // the display mode is restored once
    EXPECT_EQ(w.renderContext, nullptr);
}

// The display mode changed and the cursor went, but no context came: the
// release still gives both back.
TEST_F(GLWindow, ReleaseAfterAFullScreenCreateWithoutContextShowsTheCursor)
{
    cGLWindow w;
    cWindowSettings s;
    s.setTitle("nocontext");
    s.fullscreen = true;
    ASSERT_TRUE(w.create(s));
    ASSERT_TRUE(w.fullscreen);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    // As after a failed wglCreateContext: the window, no context.
    platform::makeCurrent(nullptr, nullptr);
    platform::deleteGLContext(w.renderContext);
    w.renderContext = nullptr;
    w.release();
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    EXPECT_FALSE(w.fullscreen);
}

TEST_F(GLWindow, SameTitleTwiceOpensBothAndNoQuitKeepsTheLoopRunning)
{
    cGLWindow a, b;
    cWindowSettings s;
    s.flags = WF_NOQUIT | WF_POSITION;
    ASSERT_TRUE(a.create(s));
    ASSERT_TRUE(b.create(s));
    EXPECT_STREQ(cWindow::className("demo"), cWindow::className("demo"));
    EXPECT_EQ(std::string(cWindow::className("demo")).rfind("quandor_demo_", 0), 0u);
    a.close();
    b.close();
    EXPECT_TRUE(platform::pumpMessages()); // WF_NOQUIT posts no quit message
}

TEST_F(GLWindow, ASecondCreateReplacesTheWindowAndAFailedOneLeavesNone)
{
    kxtest::TempDir dir;
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    cLog::get()->reset();
    cLog::get()->setFileName("log.txt");
    cLog::get()->setEnabled(true);
    const int before = liveWindows();

    cXmlTag twice;
    twice.addChild("create");
    twice.addChild("create");
    auto* demo = new cDemo;
    demo->doXML(&twice);
    // The first window would go on feeding its input to the demo.
    EXPECT_EQ(liveWindows(), before + 1);
    ASSERT_NE(demo->renderContext, nullptr);
    EXPECT_EQ(SDL_GL_GetCurrentContext(), demo->renderContext);
    EXPECT_TRUE(platform::pumpMessages()) << "replacing a window posts no quit message";

    // A create that fails leaves no window, and run returns at once.
    cXmlTag failing;
    failing.addChild("create");
    failing.addChild("run");
    demo->settings.width = 20000; // more than the window system makes
    demo->doXML(&failing);
    EXPECT_EQ(demo->window, nullptr);
    EXPECT_EQ(demo->renderContext, nullptr);
    EXPECT_EQ(liveWindows(), before);
    delete demo;
    EXPECT_EQ(liveWindows(), before);
    cLog::get()->reset();
    const std::string log = kxtest::readFile("log.txt");
    EXPECT_NE(log.find("create: no window could be opened"), std::string::npos) << log;
    EXPECT_NE(log.find("run: there is no window to play in"), std::string::npos) << log;
}

} // namespace
