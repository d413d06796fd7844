// The Windows back end's windows against the system (Wine in the suite):
// the style bits of the window flags, the pixel format set only when asked
// for and kept for the window's life, a GL window made and released without
// a shutdown message, and the session's end as a stop request.
#include "platform/console.h"
#include "platform/message_box.h"
#include "platform/window.h"
#include "platform/window_system.h"
#include "player/gl_window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <windows.h>

namespace {

HWND findWindow(const char* title) { return FindWindowA(cWindow::className(title), title); }

TEST(Win32Window, FlagsRemoveTheirStyleBits)
{
    const DWORD boxes = WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    const struct {
        int flags;
        DWORD present;
        DWORD absent;
    } cases[] = {
        {0, WS_CAPTION | boxes | WS_THICKFRAME, WS_POPUP},
        {WF_NOSYSMENU, WS_CAPTION | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, WS_SYSMENU},
        {WF_NOMINIMIZE, WS_SYSMENU | WS_MAXIMIZEBOX, WS_MINIMIZEBOX},
        {WF_NOMAXIMIZE, WS_SYSMENU | WS_MINIMIZEBOX, WS_MAXIMIZEBOX},
        {WF_NOMINIMIZE | WF_NOMAXIMIZE | WF_NORESIZE, WS_SYSMENU, WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME},
        {WF_POPUP, WS_POPUP | WS_SYSMENU, WS_CAPTION},
        {WF_POPUP | WF_NOSYSMENU, WS_POPUP | WS_THICKFRAME, WS_SYSMENU | WS_CAPTION},
    };
    for (const auto& c : cases) {
        cWindow w;
        ASSERT_EQ(w.create("flagtest", 10, 10, 320, 240, c.flags | WF_NOQUIT | WF_POSITION), 0);
        HWND hwnd = findWindow("flagtest");
        ASSERT_NE(hwnd, nullptr);
        const DWORD style = DWORD(GetWindowLongA(hwnd, GWL_STYLE));
        EXPECT_EQ(style & c.present, c.present) << "flags " << c.flags << " style " << std::hex << style;
        EXPECT_EQ(style & c.absent, 0u) << "flags " << c.flags << " style " << std::hex << style;
        RECT client{};
        GetClientRect(hwnd, &client);
        EXPECT_EQ(client.right - client.left, 320) << "flags " << c.flags;
        EXPECT_EQ(client.bottom - client.top, 240) << "flags " << c.flags;
        w.close();
    }
}

// A title outside the ANSI code page shows as it is, also after a change.
TEST(Win32Window, TitlesInAnyCharactersShowAsTheyAre)
{
    cWindow w;
    ASSERT_EQ(w.create("Démo Ω", 0, 0, 64, 48, WF_NOQUIT), 0);
    HWND hwnd = FindWindowW(nullptr, L"D\u00e9mo \u03a9");
    ASSERT_NE(hwnd, nullptr);
    platform::setWindowTitle(w.window, "日本語 ñ");
    wchar_t text[32] = {};
    GetWindowTextW(hwnd, text, 32);
    EXPECT_EQ(std::wstring(text), L"\u65e5\u672c\u8a9e \u00f1");
    w.close();
}

// A sink that takes no messages.
struct cQuietSink : platform::WindowSink {
    void onMove(int, int) override { }
    void onSize(int, int) override { }
    void onPaint() override { }
    void onClose() override { }
    void onKey(int, bool) override { }
    void onMouseMove(int, int) override { }
    void onMouseButton(int, bool) override { }
};

TEST(Win32Window, PixelFormatIsSetWhenAskedForAndOnlyOnce)
{
    cQuietSink sink;
    platform::WindowStyle style;
    style.openGL = true;
    platform::NativeWindow* w =
        platform::createWindow(cWindow::className("pftest"), "pftest", 0, 0, 32, 32, style, &sink);
    ASSERT_NE(w, nullptr) << platform::lastWindowError();
    HWND hwnd = findWindow("pftest");
    ASSERT_NE(hwnd, nullptr);
    HDC dc = GetDC(hwnd);
    // Nothing chose a format yet: a display mode change may still come.
    EXPECT_EQ(GetPixelFormat(dc), 0);
    EXPECT_EQ(platform::setPixelFormat(w), platform::PixelFormatStep::done);
    const int format = GetPixelFormat(dc);
    EXPECT_NE(format, 0);
    EXPECT_EQ(platform::setPixelFormat(w), platform::PixelFormatStep::done);
    EXPECT_EQ(GetPixelFormat(dc), format);
    ReleaseDC(hwnd, dc);
    EXPECT_TRUE(platform::releaseDeviceContext(w));
    EXPECT_TRUE(platform::destroyWindow(w));

    // A window whose format another caller set differently: SetPixelFormat
    // refuses, and the step says so.
    w = platform::createWindow(cWindow::className("pftest2"), "pftest2", 0, 0, 32, 32, style, &sink);
    ASSERT_NE(w, nullptr);
    hwnd = findWindow("pftest2");
    dc = GetDC(hwnd);
    PIXELFORMATDESCRIPTOR pfd{};
    const int count = DescribePixelFormat(dc, 1, sizeof pfd, &pfd);
    int other = 0;
    for (int i = 1; i <= count && !other; ++i) {
        DescribePixelFormat(dc, i, sizeof pfd, &pfd);
        // One the back end would not choose: without double buffering.
        if ((pfd.dwFlags & PFD_SUPPORT_OPENGL) && !(pfd.dwFlags & PFD_DOUBLEBUFFER)) other = i;
    }
    ASSERT_NE(other, 0) << "no single-buffered GL pixel format among " << count;
    DescribePixelFormat(dc, other, sizeof pfd, &pfd);
    ASSERT_TRUE(SetPixelFormat(dc, other, &pfd));
    EXPECT_EQ(platform::setPixelFormat(w), platform::PixelFormatStep::set);
    EXPECT_NE(std::string(platform::lastWindowError()).find("SetPixelFormat"), std::string::npos);
    ReleaseDC(hwnd, dc);
    platform::destroyWindow(w);
}

TEST(Win32Window, GLWindowOpensAndClosesWithoutAnyMessage)
{
    platform::setInteractive(false); // message boxes go to standard error
    testing::internal::CaptureStderr();
    {
        cGLWindow w;
        cWindowSettings s;
        s.setTitle("gltest");
        s.width = 80;
        s.height = 60;
        s.flags = WF_NOQUIT;
        ASSERT_TRUE(w.create(s));
        EXPECT_NE(w.renderContext, nullptr);
        w.close();
        EXPECT_EQ(w.window, nullptr);
    }
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(messages, "");
}

// The system refuses to destroy a window from a thread other than its
// own: the close says so in the shutdown message and goes on.
TEST(Win32Window, ARefusedDestroyIsAShutdownMessage)
{
    platform::setInteractive(false);
    cWindow w;
    std::atomic<int> made{0}; // 1 made, -1 failed
    std::atomic<bool> closed{false};
    std::thread owner([&] {
        made = w.create("otherthread", 0, 0, 32, 32, WF_NOQUIT) == 0 ? 1 : -1;
        while (!closed) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    while (made == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    testing::internal::CaptureStderr();
    if (made == 1) w.close();
    const std::string messages = testing::internal::GetCapturedStderr();
    closed = true;
    owner.join();
    ASSERT_EQ(made, 1);
    EXPECT_NE(messages.find("SHUTDOWN ERROR"), std::string::npos) << messages;
    EXPECT_NE(messages.find("DestroyWindow() Failed."), std::string::npos) << messages;
    EXPECT_EQ(w.window, nullptr);
}

// The system's cursor count: shown while it is 0 or more.
int cursorCount()
{
    const int count = ShowCursor(TRUE) - 1;
    ShowCursor(FALSE);
    return count;
}

// Full screen in the desktop's own mode, the one Wine on Xvfb switches to.
cWindowSettings desktopFullScreen(const char* title)
{
    cWindowSettings s;
    s.setTitle(title);
    s.width = GetSystemMetrics(SM_CXSCREEN);
    s.height = GetSystemMetrics(SM_CYSCREEN);
    s.fullscreen = true;
    s.flags = WF_NOQUIT;
    return s;
}

// The display mode changed and the cursor went, but no context came (as
// after a failed wglCreateContext): the release gives the cursor back.
TEST(Win32Window, AFullScreenWindowWithoutContextGivesBackTheCursor)
{
    platform::setInteractive(false);
    cGLWindow w;
    cWindowSettings s = desktopFullScreen("fscursor");
    ASSERT_TRUE(w.create(s));
    ASSERT_TRUE(w.fullscreen) << "the display mode change was refused";
    EXPECT_LT(cursorCount(), 0);
    platform::makeCurrent(nullptr, nullptr);
    platform::deleteGLContext(w.renderContext);
    w.renderContext = nullptr;
    w.release();
    EXPECT_GE(cursorCount(), 0);
    EXPECT_FALSE(w.fullscreen);
    w.close();
}

// An exception nobody catches during a full-screen show: the player's
// filter gives the desktop its mode and the cursor back before the filter
// that was there before it (this test's) sees the crash.
LONG WINAPI afterTheCrash(EXCEPTION_POINTERS*) { std::exit(cursorCount() >= 0 ? 0 : 20); }

void crashInFullScreen()
{
    platform::setInteractive(false);
    SetUnhandledExceptionFilter(&afterTheCrash);
    cGLWindow w;
    cWindowSettings s = desktopFullScreen("fscrash");
    if (!w.create(s) || !w.fullscreen) std::exit(10);
    if (cursorCount() >= 0) std::exit(11);
    RaiseException(0xE0000001, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    std::exit(12);
}

TEST(Win32WindowDeathTest, ACrashInFullScreenGivesBackTheCursor)
{
    EXPECT_EXIT(crashInFullScreen(), testing::ExitedWithCode(0), "");
}

// The session's end is a stop request that stays for the rest of the
// process, so it is tried in a process of its own.
int gFinished = 0;
void countFinish() { ++gFinished; }

void endTheSession()
{
    platform::setSessionEndHandler(&countFinish);
    cWindow w;
    if (w.create("sessiontest", 0, 0, 32, 32, WF_NOQUIT) != 0) std::exit(10);
    HWND hwnd = findWindow("sessiontest");
    if (!hwnd || platform::stopRequest()) std::exit(11);
    if (SendMessageA(hwnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF) != TRUE) std::exit(12);
    if (!platform::stopRequest() || std::string(platform::stopRequest()) != "log-off") std::exit(13);
    // The show stops either way, so its files are completed at once: the
    // process may be ended soon after the answer.
    if (gFinished != 1) std::exit(14);
    SendMessageA(hwnd, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    SendMessageA(hwnd, WM_ENDSESSION, TRUE, 0);
    SendMessageA(hwnd, WM_ENDSESSION, TRUE, 0);
    if (gFinished != 1) std::exit(16); // once only
    if (std::string(platform::stopRequest()) != "shut-down") std::exit(17);
    w.close();
    std::exit(0);
}

TEST(Win32WindowDeathTest, SessionEndIsAStopRequestAndFinishesOnce)
{
    EXPECT_EXIT(endTheSession(), testing::ExitedWithCode(0), "");
}

} // namespace
