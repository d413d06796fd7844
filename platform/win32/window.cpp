// Windows back end: Win32 windows, WGL contexts and the thread's message queue.
#include "platform/file_name.h"
#include "platform/win32/native_window.h"
#include "platform/win32/virtual_keys.h"
#include "platform/window_system.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace platform {

namespace {

char gWindowError[512];

void setWindowError(const char* what, DWORD code)
{
    char text[400];
    systemErrorText(code, text, sizeof text);
    std::snprintf(gWindowError, sizeof gWindowError, "%s %s", what, text);
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The display mode a window switched to, restored when the process dies
// of an exception nobody caught: a crash must not leave the desktop in
// the show's mode. Set by the main thread, taken by whoever restores.
volatile LONG gDisplayChanged = 0;
LPTOP_LEVEL_EXCEPTION_FILTER gPreviousFilter = nullptr;

// Gives the desktop its own mode back; true when it had another.
bool restoreDisplayMode()
{
    if (!InterlockedExchange(&gDisplayChanged, 0)) return false;
    ChangeDisplaySettingsA(nullptr, 0);
    return true;
}

LONG WINAPI restoreDisplayOnCrash(EXCEPTION_POINTERS* exception)
{
    if (restoreDisplayMode()) ShowCursor(TRUE);
    return gPreviousFilter ? gPreviousFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

void watchForCrashes()
{
    static bool installed = false;
    if (installed) return;
    installed = true;
    gPreviousFilter = SetUnhandledExceptionFilter(&restoreDisplayOnCrash);
}

// The module this code is linked into (kxplatform.dll): the window classes
// are registered for it, whichever module asks for a window.
HINSTANCE thisModule()
{
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&windowProc), &module);
    return module ? module : GetModuleHandleA(nullptr);
}

// Window classes in use, by name. Every window is made with the class named
// by its caller; windows of the same name (two shows with the same title)
// share the registration, which goes when the last of them is destroyed.
struct ClassUse {
    std::string name;
    ATOM atom;
    int windows;
};
std::vector<ClassUse> gClasses;

ClassUse* findClass(const char* name)
{
    // Class names compare without regard to case, as the system does.
    for (ClassUse& c : gClasses)
        if (_stricmp(c.name.c_str(), name) == 0) return &c;
    return nullptr;
}

ATOM acquireClass(const char* name)
{
    if (ClassUse* c = findClass(name)) {
        ++c->windows;
        return c->atom;
    }
    const HINSTANCE instance = thisModule();
    // Windows of this back end are Unicode windows: titles in any
    // characters show as they are, whatever the ANSI code page.
    const std::wstring wideName = systemName(name);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    wc.lpfnWndProc = &windowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    // Never used: the background is not erased (WM_ERASEBKGND).
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = wideName.c_str();
    ATOM atom = RegisterClassExW(&wc);
    if (!atom) {
        const DWORD code = GetLastError();
        // Registered already in this module with this very procedure: a
        // window of this code that outlived the list (none does today).
        WNDCLASSEXW existing{};
        existing.cbSize = sizeof existing;
        const ATOM found = ATOM(GetClassInfoExW(instance, wideName.c_str(), &existing));
        if (code == ERROR_CLASS_ALREADY_EXISTS && found && existing.lpfnWndProc == &windowProc) {
            atom = found;
        } else {
            setWindowError("RegisterClassEx() Failed.", code);
            return 0;
        }
    }
    try {
        gClasses.push_back(ClassUse{name, atom, 1});
    } catch (const std::bad_alloc&) {
        UnregisterClassW(wideName.c_str(), instance);
        std::snprintf(gWindowError, sizeof gWindowError, "out of memory");
        return 0;
    }
    return atom;
}

void releaseClass(ATOM atom)
{
    for (size_t i = 0; i < gClasses.size(); ++i) {
        if (gClasses[i].atom != atom) continue;
        if (--gClasses[i].windows > 0) return;
        UnregisterClassW(systemName(gClasses[i].name.c_str()).c_str(), thisModule());
        gClasses.erase(gClasses.begin() + long(i));
        return;
    }
}

NativeWindow* nativeOf(HWND hwnd) { return reinterpret_cast<NativeWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

// The sink is fetched afresh for every call: a handler may destroy the window.
WindowSink* sinkOf(HWND hwnd)
{
    NativeWindow* native = nativeOf(hwnd);
    return native ? native->sink : nullptr;
}

void cursorToSink(HWND hwnd)
{
    POINT p{};
    if (!GetCursorPos(&p)) return;
    if (WindowSink* sink = sinkOf(hwnd)) sink->onMouseMove(p.x, p.y);
}

// A button goes down or up. While any is down the window holds the mouse
// capture, so the release reaches it wherever the pointer is (the vhs
// buttons wind the show for as long as one is held).
void mouseButton(HWND hwnd, int button, bool down)
{
    if (NativeWindow* native = nativeOf(hwnd)) {
        const unsigned bit = 1u << button;
        if (down) {
            if (!native->heldButtons) SetCapture(hwnd);
            native->heldButtons |= bit;
        } else {
            native->heldButtons &= ~bit;
            if (!native->heldButtons && GetCapture() == hwnd) ReleaseCapture();
        }
    }
    cursorToSink(hwnd);
    if (WindowSink* sink = sinkOf(hwnd)) sink->onMouseButton(button, down);
}

// Another window took the mouse while buttons were held: their releases
// will never come, so they are released here.
void captureLost(HWND hwnd)
{
    for (int button = 0; button < 3; ++button) {
        NativeWindow* native = nativeOf(hwnd);
        if (!native || !native->heldButtons) return;
        const unsigned bit = 1u << button;
        if (!(native->heldButtons & bit)) continue;
        native->heldButtons &= ~bit;
        if (WindowSink* sink = native->sink) sink->onMouseButton(button, false);
    }
}

LRESULT defaultProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    // A handler may have destroyed the window.
    return IsWindow(hwnd) ? DefWindowProcW(hwnd, message, wParam, lParam) : 0;
}

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        // The window's record comes with the creation call, so even the
        // messages sent during creation find it.
        auto* native = static_cast<NativeWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        if (native) native->hwnd = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(native));
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    WindowSink* sink = sinkOf(hwnd);
    switch (message) {
    case WM_MOVE:
        if (sink) sink->onMove(short(LOWORD(lParam)), short(HIWORD(lParam)));
        return defaultProc(hwnd, message, wParam, lParam);
    case WM_SIZE:
        if (sink) sink->onSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_PAINT:
        if (sink) sink->onPaint();
        // The default procedure validates the window, so the message stops.
        return defaultProc(hwnd, message, wParam, lParam);
    case WM_CLOSE:
        // The sink decides; the window stays until its owner destroys it.
        if (sink) sink->onClose();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        // Held keys repeat as further presses.
        const int code = virtualKeyFromMessage(wParam);
        if (sink && code) sink->onKey(code, message == WM_KEYDOWN || message == WM_SYSKEYDOWN);
        return defaultProc(hwnd, message, wParam, lParam);
    }
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_SCREENSAVE:
        case SC_MONITORPOWER:
            // Neither the screen saver nor monitor power-down during a show.
            return 0;
        case SC_KEYMENU:
            // Alt or F10 alone would open the window menu's modal loop and
            // stop the show until the next key; Alt with a letter still does.
            if (lParam == 0) return 0;
            break;
        default:
            break;
        }
        return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_MOUSEMOVE:
        // Positions are screen coordinates, not the client ones in lParam.
        cursorToSink(hwnd);
        return defaultProc(hwnd, message, wParam, lParam);
    case WM_LBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MBUTTONUP:
    case WM_RBUTTONUP: {
        const bool down = message == WM_LBUTTONDOWN || message == WM_MBUTTONDOWN || message == WM_RBUTTONDOWN;
        const int button = (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP)   ? 0
                           : (message == WM_MBUTTONDOWN || message == WM_MBUTTONUP) ? 1
                                                                                    : 2;
        mouseButton(hwnd, button, down);
        return defaultProc(hwnd, message, wParam, lParam);
    }
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != hwnd) captureLost(hwnd);
        return 0;
    case WM_QUERYENDSESSION:
        // The session may end: the show ends as on Ctrl+C, its files are
        // completed now (the process may be ended soon after the answer),
        // and the system is told it may go on.
        requestStopForSessionEnd((lParam & ENDSESSION_LOGOFF) != 0);
        finishForSessionEnd();
        return TRUE;
    case WM_ENDSESSION:
        if (wParam) {
            // The process may be ended any time after this returns: the
            // desktop gets its mode back and the program completes its
            // files now; the show itself ends at its next step.
            requestStopForSessionEnd((lParam & ENDSESSION_LOGOFF) != 0);
            if (restoreDisplayMode()) ShowCursor(TRUE);
            finishForSessionEnd();
        }
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

} // namespace

NativeWindow* windowOfDeviceContext(HDC dc)
{
    if (!dc) return nullptr;
    HWND hwnd = WindowFromDC(dc);
    if (!hwnd || reinterpret_cast<WNDPROC>(GetClassLongPtrA(hwnd, GCLP_WNDPROC)) != &windowProc) return nullptr;
    NativeWindow* native = nativeOf(hwnd);
    return native && native->dc == dc ? native : nullptr;
}

bool desktopSize(int* width, int* height)
{
    const int w = GetSystemMetrics(SM_CXSCREEN);
    const int h = GetSystemMetrics(SM_CYSCREEN);
    if (w <= 0 || h <= 0) return false;
    *width = w;
    *height = h;
    return true;
}

const char* lastWindowError() { return gWindowError; }

NativeWindow* createWindow(const char* className, const char* title, int x, int y, int width, int height,
                           const WindowStyle& style, WindowSink* sink)
{
    if (!className || !*className) {
        std::snprintf(gWindowError, sizeof gWindowError, "no window class name");
        return nullptr;
    }
    auto* native = new (std::nothrow) NativeWindow;
    if (!native) {
        std::snprintf(gWindowError, sizeof gWindowError, "out of memory");
        return nullptr;
    }
    native->windowClass = acquireClass(className);
    if (!native->windowClass) {
        delete native;
        return nullptr;
    }

    DWORD windowStyle = style.popup ? WS_POPUP | WS_SYSMENU | WS_THICKFRAME : WS_OVERLAPPEDWINDOW;
    if (!style.systemMenu) windowStyle &= ~DWORD(WS_SYSMENU);
    if (!style.minimizeBox) windowStyle &= ~DWORD(WS_MINIMIZEBOX);
    if (!style.maximizeBox) windowStyle &= ~DWORD(WS_MAXIMIZEBOX);
    if (!style.border) windowStyle &= ~DWORD(WS_BORDER);
    if (!style.resizable) windowStyle &= ~DWORD(WS_THICKFRAME);
    // A GL window draws only into its own client area.
    if (style.openGL) windowStyle |= WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    DWORD extendedStyle = 0;
    if (style.topmost) extendedStyle |= WS_EX_TOPMOST;
    if (style.toolWindow) extendedStyle |= WS_EX_TOOLWINDOW;

    // The outer size that gives a client area of the asked size (cWindow
    // keeps it at least 1 x 1).
    RECT r{0, 0, width, height};
    AdjustWindowRectEx(&r, windowStyle, FALSE, extendedStyle);

    native->sink = sink;
    native->openGL = style.openGL;
    native->colourBits = style.colourBits;
    native->depthBits = style.depthBits;
    HWND hwnd =
        CreateWindowExW(extendedStyle, systemName(className).c_str(), systemName(title ? title : "").c_str(),
                        windowStyle, x, y, r.right - r.left, r.bottom - r.top, nullptr, nullptr, thisModule(), native);
    if (!hwnd) {
        setWindowError("CreateWindowEx failed:", GetLastError());
        releaseClass(native->windowClass);
        delete native;
        return nullptr;
    }
    native->hwnd = hwnd;
    // The program is DPI aware (its manifest): sizes are physical pixels.
    // The frame of a window on a monitor scaled otherwise than the main
    // one differs from what AdjustWindowRectEx assumed, so the outer size
    // is corrected until the client area has the size asked for.
    RECT client{};
    if (GetClientRect(hwnd, &client)) {
        const int dw = width - (client.right - client.left), dh = height - (client.bottom - client.top);
        if (dw != 0 || dh != 0)
            SetWindowPos(hwnd, nullptr, 0, 0, r.right - r.left + dw, r.bottom - r.top + dh,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // A GL window takes its device context with its pixel format
    // (setPixelFormat), once the display mode is what the show plays in.
    if (!style.openGL) native->dc = GetDC(hwnd);
    if (style.activate) {
        ShowWindow(hwnd, SW_SHOW);
        SetForegroundWindow(hwnd);
        SetFocus(hwnd);
    } else {
        ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    }
    UpdateWindow(hwnd);
    return native;
}

bool destroyWindow(NativeWindow* window)
{
    if (!window) return true;
    if (window->displayModeChanged) restoreDisplayMode();
    // From here on nothing reaches the sink.
    SetWindowLongPtrA(window->hwnd, GWLP_USERDATA, 0);
    if (window->heldButtons && GetCapture() == window->hwnd) ReleaseCapture();
    if (window->dc) {
        // A context drawing into the window stops being current with it.
        if (wglGetCurrentDC() == window->dc) wglMakeCurrent(nullptr, nullptr);
        ReleaseDC(window->hwnd, window->dc);
    }
    const bool destroyed = DestroyWindow(window->hwnd) != FALSE;
    releaseClass(window->windowClass);
    delete window;
    return destroyed;
}

void setWindowSink(NativeWindow* window, WindowSink* sink)
{
    if (window) window->sink = sink;
}

void raiseWindow(NativeWindow* window)
{
    if (!window) return;
    BringWindowToTop(window->hwnd);
    SetForegroundWindow(window->hwnd);
    SetFocus(window->hwnd);
}

void setWindowTitle(NativeWindow* window, const char* title)
{
    if (window) SetWindowTextW(window->hwnd, systemName(title ? title : "").c_str());
}

bool paintWindow(NativeWindow* window, const unsigned char* pixels, int width, int height)
{
    if (!window || !window->dc || (pixels && (width < 1 || height < 1))) return false;
    RECT client{};
    if (!GetClientRect(window->hwnd, &client)) return false;
    const int w = client.right - client.left, h = client.bottom - client.top;
    if (w <= 0 || h <= 0) return true; // nothing shows (a minimised window)
    if (!pixels) return FillRect(window->dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))) != 0;

    // A bitmap's rows start on 4-byte boundaries; the picture's rows are
    // packed end to end, so they are spread out when they differ.
    const size_t rowBytes = size_t(width) * 3;
    const size_t stride = (rowBytes + 3) & ~size_t(3);
    const unsigned char* bits = pixels;
    std::vector<unsigned char> aligned;
    if (stride != rowBytes) {
        try {
            aligned.resize(stride * size_t(height));
        } catch (const std::bad_alloc&) {
            return false;
        }
        for (int row = 0; row < height; ++row)
            std::memcpy(aligned.data() + size_t(row) * stride, pixels + size_t(row) * rowBytes, rowBytes);
        bits = aligned.data();
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // positive: bottom row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    // Nearest pixel, as on every system. GDI leaves the current GL context alone.
    SetStretchBltMode(window->dc, COLORONCOLOR);
    const int lines = StretchDIBits(window->dc, 0, 0, w, h, 0, 0, width, height, bits, &info, DIB_RGB_COLORS, SRCCOPY);
    GdiFlush();
    return lines != 0 && lines != int(GDI_ERROR);
}

bool enterFullScreen(NativeWindow* window, int width, int height, int colourBits)
{
    if (!window || width < 1 || height < 1) return false;
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = DWORD(width);
    mode.dmPelsHeight = DWORD(height);
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    if (colourBits > 0 && colourBits <= 32) {
        mode.dmBitsPerPel = DWORD(colourBits);
        mode.dmFields |= DM_BITSPERPEL;
    }
    watchForCrashes();
    if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) return false;
    window->displayModeChanged = true;
    InterlockedExchange(&gDisplayChanged, 1);
    return true;
}

void leaveFullScreen(NativeWindow* window)
{
    if (!window || !window->displayModeChanged) return;
    restoreDisplayMode();
    window->displayModeChanged = false;
}

void showCursor(bool visible)
{
    // The system counts shows and hides; the layer's call sets the state.
    // The count moves by one per call, so a few calls always reach it.
    for (int i = 0; i < 64; ++i) {
        const int count = ShowCursor(visible ? TRUE : FALSE);
        if (visible ? count >= 0 : count < 0) return;
    }
}

PixelFormatStep setPixelFormat(NativeWindow* window)
{
    if (!window) return PixelFormatStep::deviceContext;
    if (window->pixelFormatSet) return PixelFormatStep::done;
    if (!window->dc) window->dc = GetDC(window->hwnd);
    if (!window->dc) {
        setWindowError("GetDC failed:", GetLastError());
        return PixelFormatStep::deviceContext;
    }
    // RGBA, double-buffered, drawn to the window, with the style's colour
    // and depth bits.
    PIXELFORMATDESCRIPTOR pfd{};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = BYTE(window->colourBits & 0xFF);
    pfd.cDepthBits = BYTE(window->depthBits < 0 ? 0 : window->depthBits > 32 ? 32 : window->depthBits);
    pfd.iLayerType = PFD_MAIN_PLANE;
    const int format = ChoosePixelFormat(window->dc, &pfd);
    if (!format) {
        setWindowError("ChoosePixelFormat failed:", GetLastError());
        return PixelFormatStep::choose;
    }
    if (!SetPixelFormat(window->dc, format, &pfd)) {
        setWindowError("SetPixelFormat failed:", GetLastError());
        return PixelFormatStep::set;
    }
    window->pixelFormatSet = true;
    return PixelFormatStep::done;
}

bool releaseDeviceContext(NativeWindow* window)
{
    if (!window || !window->dc) return true;
    if (wglGetCurrentDC() == window->dc) wglMakeCurrent(nullptr, nullptr);
    const bool released = ReleaseDC(window->hwnd, window->dc) != 0;
    window->dc = nullptr;
    return released;
}

GLContext createGLContext(NativeWindow* window)
{
    if (!window) return nullptr;
    if (!window->openGL) {
        std::snprintf(gWindowError, sizeof gWindowError, "the window was not made for OpenGL");
        return nullptr;
    }
    if (setPixelFormat(window) != PixelFormatStep::done) return nullptr;
    HGLRC context = wglCreateContext(window->dc);
    if (!context) setWindowError("wglCreateContext failed:", GetLastError());
    return context;
}

bool makeCurrent(NativeWindow* window, GLContext context)
{
    if (!context) {
        // Releasing when nothing is current succeeds, as it does elsewhere.
        if (!wglGetCurrentContext()) return true;
        return wglMakeCurrent(nullptr, nullptr) != FALSE;
    }
    if (!window || !window->dc) return false;
    return wglMakeCurrent(window->dc, static_cast<HGLRC>(context)) != FALSE;
}

bool deleteGLContext(GLContext context) { return context && wglDeleteContext(static_cast<HGLRC>(context)) != FALSE; }

GLContext currentGLContext() { return wglGetCurrentContext(); }

void swapBuffers(NativeWindow* window)
{
    if (window && window->dc) SwapBuffers(window->dc);
}

void postQuit()
{
    // The thread's quit message: the player and every plug-in post and see
    // the same one.
    PostQuitMessage(0);
}

void discardQuit()
{
    // The quit state PostQuitMessage set is cleared by taking its message.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) { }
}

bool pumpMessages()
{
    bool quit = false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = true;
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return !quit;
}

} // namespace platform
