// Smoke test of the Windows back end of the platform layer: runs every part
// of it once against the real system (or Wine) and prints one line per
// check. The exit code is the number of failed checks.
//
// Beside the program it expects win32_smoke_plugin.dll (built from
// win32_smoke_plugin.cpp), which it loads by its bare name from another
// working folder.
#include "platform/clock.h"
#include "platform/gl_procs.h"
#include "platform/library.h"
#include "platform/message_box.h"
#include "platform/outline_font.h"
#include "platform/video_capture.h"
#include "platform/win32/native_window.h"
#include "platform/window.h"
#include "platform/window_system.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int gFailures = 0;

void check(bool ok, const char* what, const std::string& detail = std::string())
{
    std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", what, detail.empty() ? "" : ": ", detail.c_str());
    if (!ok) ++gFailures;
}

#if defined(__GNUC__)
std::string format(const char* f, ...) __attribute__((format(printf, 1, 2)));
#endif
std::string format(const char* f, ...)
{
    char text[1024];
    va_list args;
    va_start(args, f);
    std::vsnprintf(text, sizeof text, f, args);
    va_end(args);
    return text;
}

struct Recorder : platform::WindowSink {
    int moves = 0, sizes = 0, paints = 0, closes = 0;
    int lastKey = -1;
    bool lastKeyDown = false;
    int lastButton = -1;
    bool lastButtonDown = false;
    int buttonEvents = 0;
    void onMove(int, int) override { ++moves; }
    void onSize(int, int) override { ++sizes; }
    void onPaint() override { ++paints; }
    void onClose() override { ++closes; }
    void onKey(int key, bool down) override
    {
        lastKey = key;
        lastKeyDown = down;
    }
    void onMouseMove(int, int) override { }
    void onMouseButton(int button, bool down) override
    {
        lastButton = button;
        lastButtonDown = down;
        ++buttonEvents;
    }
};

HWND hwndOf(platform::NativeWindow* w) { return w ? w->hwnd : nullptr; }

void systemAndClock()
{
    const platform::UtcTime t = platform::utcNow();
    check(t.year >= 2020 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.millisecond < 1000,
          "utcNow",
          format("%04u-%02u-%02u %02u:%02u:%02u.%03u", t.year, t.month, t.day, t.hour, t.minute, t.second,
                 t.millisecond));
    const uint32_t t0 = platform::ticks();
    const double p0 = platform::preciseMilliseconds();
    Sleep(30);
    const uint32_t dt = platform::ticks() - t0;
    const double dp = platform::preciseMilliseconds() - p0;
    // The tick counter may move in steps of 10 to 16 ms.
    check(dt > 0 && dt < 2000 && dp >= 25 && dp < 2000, "ticks and preciseMilliseconds advance",
          format("%u ms, %.3f ms", unsigned(dt), dp));
    platform::setInteractive(false);
    platform::messageBox("SMOKE", "a message box that does not block", platform::MessageIcon::error);
    check(!platform::isInteractive(), "non-interactive message box returned");
    int w = 0, h = 0;
    const bool desktop = platform::desktopSize(&w, &h);
    check(desktop && w > 0 && h > 0, "desktopSize", format("%dx%d", w, h));
}

void glWindowAndContext()
{
    Recorder sink;
    platform::WindowStyle style;
    style.openGL = true;
    platform::NativeWindow* win = platform::createWindow("quandor_smoke_1_2", "smoke", 10, 10, 64, 48, style, &sink);
    check(win != nullptr, "createWindow (GL)", win ? "" : platform::lastWindowError());
    if (!win) return;
    // A second window of the same title (the same class name) opens too.
    Recorder sink2;
    platform::NativeWindow* twin = platform::createWindow("quandor_smoke_1_2", "smoke", 80, 10, 64, 48, style, &sink2);
    check(twin != nullptr, "second window with the same class name", twin ? "" : platform::lastWindowError());
    char className[64] = {};
    if (twin) GetClassNameA(hwndOf(twin), className, sizeof className);
    check(std::strcmp(className, "quandor_smoke_1_2") == 0, "class name kept", className);
    platform::destroyWindow(twin);
    // The class survives while a window uses it; it is registered anew after.
    platform::NativeWindow* third = platform::createWindow("quandor_smoke_1_2", "smoke", 80, 10, 64, 48, style, &sink2);
    check(third != nullptr, "third window after one was destroyed", third ? "" : platform::lastWindowError());
    platform::destroyWindow(third);

    check(platform::pumpMessages(), "pumpMessages without quit");
    check(sink.sizes > 0 && sink.moves > 0, "WM_SIZE / WM_MOVE reach the sink",
          format("%d sizes, %d moves", sink.sizes, sink.moves));

    platform::GLContext ctx = platform::createGLContext(win);
    check(ctx != nullptr, "createGLContext", ctx ? "" : platform::lastWindowError());
    if (!ctx) {
        platform::destroyWindow(win);
        return;
    }
    check(platform::makeCurrent(win, ctx), "makeCurrent");
    std::printf("     GL_VENDOR %s | GL_RENDERER %s | GL_VERSION %s\n", glGetString(GL_VENDOR),
                glGetString(GL_RENDERER), glGetString(GL_VERSION));
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();
    unsigned char px[4] = {};
    glReadBuffer(GL_BACK);
    glReadPixels(5, 5, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, px);
    check(px[0] == 255 && px[1] == 0 && px[2] == 0, "clear to red and read back",
          format("%u,%u,%u", px[0], px[1], px[2]));
    platform::swapBuffers(win);

    // Entry points: 1.1 names come from opengl32.dll itself.
    check(platform::getProcAddress("glClear") != nullptr, "getProcAddress(glClear) (1.1 fallback)");
    check(platform::getProcAddress("glNoSuchFunctionKX") == nullptr, "getProcAddress(unknown) is null");
    const char* wglExt = platform::windowSystemExtensions();
    std::printf("     WGL extensions: %s\n", wglExt ? wglExt : "(none)");
    using StringARB = const char*(KX_APIENTRY*)(void*);
    if (auto arb = reinterpret_cast<StringARB>(platform::getProcAddress("wglGetExtensionsStringARB"))) {
        const char* viaWindow = arb(win);
        check(viaWindow && wglExt && std::strcmp(viaWindow, wglExt) == 0,
              "wglGetExtensionsStringARB takes the NativeWindow*");
    } else {
        check(wglExt == nullptr || platform::getProcAddress("wglGetExtensionsStringEXT"),
              "no wglGetExtensionsStringARB: the EXT string or none");
    }
    using MakeCurrentARB = int(KX_APIENTRY*)(void*, void*, void*);
    using ReadDC = void*(KX_APIENTRY*)();
    auto mcr = reinterpret_cast<MakeCurrentARB>(platform::getProcAddress("wglMakeContextCurrentARB"));
    auto rdc = reinterpret_cast<ReadDC>(platform::getProcAddress("wglGetCurrentReadDCARB"));
    if (mcr && rdc) {
        check(mcr(win, win, ctx) == 1, "wglMakeContextCurrentARB(window, window, context)");
        check(rdc() == win, "wglGetCurrentReadDCARB gives the NativeWindow*");
    } else {
        std::printf("     (no WGL_ARB_make_current_read)\n");
    }
    using SwapInterval = int(KX_APIENTRY*)(int);
    if (auto swap = reinterpret_cast<SwapInterval>(platform::getProcAddress("wglSwapIntervalEXT")))
        check(swap(0) != 0, "wglSwapIntervalEXT(0)");

    // Outline glyphs into display lists.
    const GLuint base = glGenLists(256);
    std::vector<platform::GlyphMetricsFloat> metrics(256);
    platform::OutlineFontChoice choice{};
    const bool fontOk = platform::useFontOutlines("Arial", false, 0, 256, base, 0.01f, 0.1f, metrics.data(), &choice);
    check(fontOk, "useFontOutlines(Arial, 0..255)",
          format("face \"%s\" style \"%s\" font \"%s\" exact %d", choice.family, choice.style, choice.file,
                 int(choice.exact)));
    const platform::GlyphMetricsFloat& a = metrics['A'];
    check(a.cellIncX > 0.3f && a.cellIncX < 1.5f && a.blackBoxY > 0.3f && a.blackBoxY < 1.2f, "metrics of A",
          format("box %.3f x %.3f origin %.3f,%.3f advance %.3f", a.blackBoxX, a.blackBoxY, a.glyphOriginX,
                 a.glyphOriginY, a.cellIncX));
    check(metrics[1].cellIncX == 0 && metrics[0x81].cellIncX == 0, "control code and unassigned slot: no advance");
    check(metrics[0x80].cellIncX > 0 && metrics[0xE9].cellIncX > 0,
          "0x80 and 0xE9 read as Windows-1252 (euro, e acute)");
    check(glIsList(base + 'A') == GL_TRUE, "display list of A exists");
    // Draw the A in white over black and count the lit pixels.
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glViewport(0, 0, 64, 48);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-0.2, 1.0, -0.2, 1.0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor3f(1, 1, 1);
    glCallList(base + 'A');
    glFinish();
    std::vector<unsigned char> frame(64 * 48 * 4);
    glReadPixels(0, 0, 64, 48, GL_RGBA, GL_UNSIGNED_BYTE, frame.data());
    int lit = 0;
    for (size_t i = 0; i < frame.size(); i += 4) lit += frame[i] > 128;
    check(lit > 50 && lit < 64 * 48 * 3 / 4, "the A's list draws a filled glyph", format("%d lit pixels", lit));
    // Extruded, seen edge-on: side walls show only where the system builds them.
    platform::useFontOutlines("Arial", false, 'A', 1, base + 'A', 0.01f, 0.5f, nullptr);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1.0, 1.0, -0.2, 1.0, -2, 2);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRotatef(90, 0, 1, 0);
    glCallList(base + 'A');
    glFinish();
    glReadPixels(0, 0, 64, 48, GL_RGBA, GL_UNSIGNED_BYTE, frame.data());
    lit = 0;
    for (size_t i = 0; i < frame.size(); i += 4) lit += frame[i] > 128;
    std::printf("     extruded A seen edge-on: %d lit pixels (none: this system builds flat glyphs)\n", lit);
    glDeleteLists(base, 256);

    std::vector<platform::GlyphMetricsFloat> only(256);
    const bool metricsOnly = platform::useFontOutlines("Arial", false, 0, 256, 0, 0.01f, 0, only.data());
    check(metricsOnly && std::fabs(only['A'].cellIncX - a.cellIncX) < 0.01f &&
              std::fabs(only['A'].blackBoxY - a.blackBoxY) < 0.02f,
          "metrics without lists match", format("advance %.4f vs %.4f", only['A'].cellIncX, a.cellIncX));
    platform::OutlineFontChoice other{};
    const bool substitute =
        platform::useFontOutlines("No Such Face KX", false, 'A', 1, 0, 0.01f, 0, only.data(), &other);
    check(substitute && !other.exact && only[0].cellIncX > 0, "unknown face falls back", other.family);
    check(!platform::useFontOutlines("Arial", false, 200, 100, 0, 0.01f, 0, only.data()), "range past 255 refused");

    // Sink mapping, through the window procedure.
    HWND hwnd = hwndOf(win);
    SendMessageA(hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
    check(sink.lastKey == 27 && sink.lastKeyDown, "WM_KEYDOWN Escape → key 27 down");
    SendMessageA(hwnd, WM_KEYUP, VK_RSHIFT, 0);
    check(sink.lastKey == 16 && !sink.lastKeyDown, "WM_KEYUP right Shift → key 16 up");
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    check(sink.lastButton == 0 && sink.lastButtonDown && GetCapture() == hwnd, "left button down captures the mouse");
    SendMessageA(hwnd, WM_LBUTTONUP, 0, 0);
    check(sink.lastButton == 0 && !sink.lastButtonDown && GetCapture() != hwnd, "left button up releases it");
    SendMessageA(hwnd, WM_RBUTTONDOWN, MK_RBUTTON, 0);
    const int before = sink.buttonEvents;
    SendMessageA(hwnd, WM_CAPTURECHANGED, 0, 0); // another window took the mouse
    check(sink.buttonEvents == before + 1 && sink.lastButton == 2 && !sink.lastButtonDown,
          "losing the capture releases the held button");
    SendMessageA(hwnd, WM_CLOSE, 0, 0);
    check(sink.closes == 1 && IsWindow(hwnd), "WM_CLOSE → onClose, the window stays");
    check(SendMessageA(hwnd, WM_SYSCOMMAND, SC_SCREENSAVE, 0) == 0, "SC_SCREENSAVE swallowed");

    const bool full = platform::enterFullScreen(win, 640, 480, 32);
    std::printf("     enterFullScreen(640x480x32): %s\n", full ? "switched" : "refused");
    platform::leaveFullScreen(win);
    platform::showCursor(false);
    platform::showCursor(true);

    check(platform::makeCurrent(win, nullptr), "makeCurrent(null) releases");
    check(platform::makeCurrent(nullptr, nullptr), "makeCurrent(null) with nothing current");
    check(platform::deleteGLContext(ctx), "deleteGLContext");
    platform::destroyWindow(win);
    check(!IsWindow(hwnd), "destroyWindow");
}

void paintedWindow()
{
    Recorder sink;
    platform::WindowStyle style; // no GL
    platform::NativeWindow* win = platform::createWindow("quandor_paint_1_2", "paint", 10, 80, 50, 30, style, &sink);
    check(win != nullptr, "createWindow (painted)", win ? "" : platform::lastWindowError());
    if (!win) return;
    platform::pumpMessages();
    // 5 x 3 pixels (15-byte rows: not a multiple of 4), bottom row first:
    // bottom row blue, middle green, top red; the last column white.
    unsigned char picture[5 * 3 * 3];
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            unsigned char* p = picture + (y * 5 + x) * 3;
            const unsigned char bgr[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
            for (int c = 0; c < 3; ++c) p[c] = x == 4 ? 255 : bgr[y][c];
        }
    check(platform::paintWindow(win, picture, 5, 3), "paintWindow 5x3");
    // The system may widen a small captioned window: probe by the client area.
    RECT r{};
    GetClientRect(hwndOf(win), &r);
    const int cw = r.right, ch = r.bottom;
    HDC dc = GetDC(hwndOf(win));
    const COLORREF top = GetPixel(dc, cw / 10, ch / 12), bottom = GetPixel(dc, cw / 10, ch - 1 - ch / 12);
    const COLORREF right = GetPixel(dc, cw - 1 - cw / 20, ch / 2), middle = GetPixel(dc, cw / 10, ch / 2);
    check(top == RGB(255, 0, 0) && middle == RGB(0, 255, 0) && bottom == RGB(0, 0, 255) && right == RGB(255, 255, 255),
          "picture scaled upright into the client area",
          format("client %dx%d: top %06lx middle %06lx bottom %06lx right %06lx", cw, ch, top, middle, bottom, right));
    check(platform::paintWindow(win, nullptr, 0, 0) && GetPixel(dc, cw / 2, ch / 2) == RGB(0, 0, 0),
          "null picture: black");
    ReleaseDC(hwndOf(win), dc);
    check(!platform::paintWindow(win, picture, 0, 3), "zero width refused");
    platform::destroyWindow(win);
    platform::postQuit();
    check(!platform::pumpMessages(), "postQuit → pumpMessages false");
    check(platform::pumpMessages(), "then true again");
}

struct SmokeWindow : cWindow {
    int closes = 0;
    void close() override
    {
        ++closes;
        cWindow::close();
    }
};

void portableWindows()
{
    // Two windows of the same title, as two shows in one script make them.
    SmokeWindow one, two;
    const bool made = one.create("same", 0, 0, 160, 120, 0) == 0 && two.create("same", 0, 0, 160, 120, 0) == 0;
    check(made, "two cWindows with the same title", cWindow::className("same"));
    check(platform::pumpMessages(), "no quit while both are open");
    PostMessageA(hwndOf(one.window), WM_CLOSE, 0, 0);
    const bool running = platform::pumpMessages();
    check(!running && one.closes == 1 && !one.window, "the close box closes the window and posts the quit");
    SmokeWindow quiet;
    check(quiet.create("quiet", 0, 0, 100, 100, WF_NOQUIT | WF_POPUP | WF_TOPMOST | WF_TOOLWINDOW) == 0,
          "popup, topmost tool window");
    const LONG_PTR ex = quiet.window ? GetWindowLongPtrA(hwndOf(quiet.window), GWL_EXSTYLE) : 0;
    check((ex & WS_EX_TOPMOST) && (ex & WS_EX_TOOLWINDOW), "extended styles");
    quiet.close();
    check(platform::pumpMessages(), "WF_NOQUIT posts no quit");
    two.close();
    check(!platform::pumpMessages(), "closing the second posts the quit");
}

void libraries()
{
    void* kernel = platform::openLibrary("kernel32");
    check(kernel && platform::librarySymbol(kernel, "GetTickCount"), "openLibrary(kernel32) + symbol");
    platform::closeLibrary(kernel);
    const bool missing = !platform::openLibrary("no_such_library_kx");
    check(missing, "missing library", platform::lastLibraryError());
    const bool missingPath = !platform::openLibrary("C:/no/such/folder/x.dll");
    check(missingPath, "missing path", platform::lastLibraryError());
    // A file that is no library: the reason names it, and no dialog waits.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char cwdBefore[MAX_PATH];
    GetCurrentDirectoryA(sizeof cwdBefore, cwdBefore);
    SetCurrentDirectoryA(temp);
    if (FILE* f = std::fopen("bad_kx.dll", "wb")) {
        std::fputs("not a library", f);
        std::fclose(f);
    }
    const bool bad = !platform::openLibrary("bad_kx");
    const std::string why = platform::lastLibraryError();
    check(bad && why.find("bad_kx.dll") != std::string::npos && why.find("not found") == std::string::npos,
          "a file that is no library", why);
    std::remove("bad_kx.dll");
    SetCurrentDirectoryA(cwdBefore);
    // The plug-in beside the program, found from another working folder.
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    SetCurrentDirectoryA("C:\\");
    void* plugin = platform::openLibrary("win32_smoke_plugin.dll");
    using HasFx = bool (*)(const char*);
    auto hasFX = plugin ? reinterpret_cast<HasFx>(platform::librarySymbol(plugin, "hasFX")) : nullptr;
    check(hasFX && hasFX("smoke") && !hasFX("other"), "plug-in beside the program: hasFX",
          plugin ? "" : platform::lastLibraryError());
    check(plugin && !platform::librarySymbol(plugin, "getFX"), "missing export is null");
    platform::closeLibrary(plugin);
    SetCurrentDirectoryA(cwd);
}

void capture()
{
    int drivers = 0;
    for (int i = 0; i <= platform::kTestPatternDriver; ++i) {
        char name[512], description[512];
        if (!platform::captureDriverDescription(i, name, sizeof name, description, sizeof description)) continue;
        ++drivers;
        std::printf("     device%d: %s | %s\n", i, name, description);
    }
    check(drivers >= 1, "captureDriverDescription lists the test pattern", format("%d drivers", drivers));
    platform::CaptureDevice* cam = platform::openCaptureDriver(0);
    std::printf("     openCaptureDriver(0): %s\n", cam ? "opened" : platform::lastCaptureError());
    if (cam) {
        const bool fmt = platform::setCaptureFormat(cam, 160, 120);
        std::vector<unsigned char> buffer(160 * 120 * 3);
        const long got = platform::grabCaptureFrame(cam, buffer.data(), buffer.size());
        std::printf("     setCaptureFormat 160x120: %d, grab: %ld\n", int(fmt), got);
        platform::closeCaptureDevice(cam);
    }
    const bool unknown = !platform::openCaptureDevice("No Such Camera");
    check(unknown, "unknown driver name", platform::lastCaptureError());

    platform::CaptureDevice* tp = platform::openCaptureDevice("TestPattern");
    check(tp != nullptr, "openCaptureDevice(testpattern)", tp ? "" : platform::lastCaptureError());
    if (tp) {
        check(platform::setCaptureFormat(tp, 160, 120), "test pattern 160x120");
        std::vector<unsigned char> buffer(160 * 120 * 3);
        check(platform::grabCaptureFrame(tp, nullptr, 0) == 57600, "grab size query");
        const long got = platform::grabCaptureFrame(tp, buffer.data(), buffer.size());
        // Top row is stored last; its first bar is white, its last black.
        const unsigned char* topRow = buffer.data() + 119 * 160 * 3;
        check(got == 57600 && topRow[0] == 255 && topRow[1] == 255 && topRow[2] == 255 && topRow[159 * 3] == 0,
              "test pattern frame", format("%ld bytes", got));
        platform::closeCaptureDevice(tp);
    }
    platform::CaptureDevice* once = platform::openCaptureDevice("testpattern:frames=1");
    if (once) {
        std::vector<unsigned char> buffer(160 * 120 * 3);
        const long first = platform::grabCaptureFrame(once, buffer.data(), buffer.size());
        const long second = platform::grabCaptureFrame(once, buffer.data(), buffer.size());
        check(first == 57600 && second == -1, "unplugged test pattern", platform::lastCaptureError());
        platform::closeCaptureDevice(once);
    }
}

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    systemAndClock();
    glWindowAndContext();
    paintedWindow();
    portableWindows();
    libraries();
    capture();
    std::printf("%d failed\n", gFailures);
    return gFailures;
}
