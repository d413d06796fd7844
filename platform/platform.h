// The platform layer: everything the core needs from the operating system,
// behind one header. The Linux back end lives in platform/sdl/.
#pragma once

#include <cstdint>

namespace platform {

struct UtcTime {
    unsigned year, month, day;
    unsigned hour, minute, second, millisecond;
};

// The current wall-clock time in UTC.
UtcTime utcNow();

enum class MessageIcon { information, error };

// A modal message box without an owner window. When there is no display,
// or the program runs non-interactively, the text goes to standard error
// and nothing blocks.
void messageBox(const char* caption, const char* text, MessageIcon icon);

// Non-interactive runs (capture mode, tests) never block on a dialog.
void setInteractive(bool interactive);
bool isInteractive();

} // namespace platform

// ---- Windows, GL contexts and the message queue ---------------------------
namespace platform {

struct NativeWindow;            // one top-level window
using GLContext = void*;        // one GL rendering context

// Receives the messages of one window, already turned into handler calls.
class WindowSink {
public:
    virtual ~WindowSink() = default;
    virtual void onMove(int x, int y) = 0;
    virtual void onSize(int width, int height) = 0;
    virtual void onPaint() = 0;
    virtual void onClose() = 0;
    virtual void onKey(int virtualKey, bool down) = 0;
    virtual void onMouseMove(int screenX, int screenY) = 0;
    virtual void onMouseButton(int button, bool down) = 0;  // 0 left, 1 middle, 2 right
};

struct WindowStyle {
    bool popup = false;        // no caption
    bool border = true;
    bool resizable = true;
    bool topmost = false;
    bool toolWindow = false;
    bool openGL = false;       // the window will get a GL context
    int colourBits = 32;       // GL pixel format
    int depthBits = 24;
};

// Millisecond tick counter (wraps after 49 days, as 32-bit arithmetic expects).
uint32_t ticks();
// A monotonic clock in milliseconds with sub-millisecond resolution.
double preciseMilliseconds();

// Size of the desktop the windows open on; false without a display.
bool desktopSize(int* width, int* height);

// Creates and shows a window whose client area has the given size. Null on
// failure, with the reason in lastWindowError().
NativeWindow* createWindow(const char* className, const char* title, int x, int y, int width, int height,
                           const WindowStyle& style, WindowSink* sink);
const char* lastWindowError();
void destroyWindow(NativeWindow* window);
// The sink receiving the window's messages; null stops forwarding.
void setWindowSink(NativeWindow* window, WindowSink* sink);
void raiseWindow(NativeWindow* window);

// Switches the display to a full-screen mode of the window's size; false when refused.
bool enterFullScreen(NativeWindow* window, int width, int height, int colourBits);
void leaveFullScreen(NativeWindow* window);
void showCursor(bool visible);

GLContext createGLContext(NativeWindow* window);
bool makeCurrent(NativeWindow* window, GLContext context);  // null context: none current
bool deleteGLContext(GLContext context);
void swapBuffers(NativeWindow* window);

// Takes every pending message without waiting and hands it to its window's
// sink. Returns false when the quit message was among them.
bool pumpMessages();
// Posts the process-wide quit message.
void postQuit();

} // namespace platform

// ---- GL entry points --------------------------------------------------------
// Calling convention of GL and WGL entry points: __stdcall on Windows,
// the default elsewhere.
#if defined(_WIN32)
#define KX_APIENTRY __stdcall
#else
#define KX_APIENTRY
#endif

namespace platform {

// The entry point of the current GL context with this name, or null.
// "wgl" names are served by the back end: on SDL, "wglGetExtensionsStringARB",
// "wglGetExtensionsStringEXT", "wglSwapIntervalEXT", "wglGetSwapIntervalEXT",
// "wglMakeContextCurrentARB" and "wglGetCurrentReadDCARB" are small shims over
// SDL; every other "wgl" name gives null. For these shims a device context
// (HDC) is the NativeWindow* of a window and a rendering context (HGLRC) its
// GLContext.
void* getProcAddress(const char* name);

// The WGL extension string of the current context: what
// wglGetExtensionsStringARB returns for the current device context, else
// what wglGetExtensionsStringEXT returns; null when neither exists.
const char* windowSystemExtensions();

} // namespace platform

// ---- Dynamic libraries -----------------------------------------------------
namespace platform {

// Loads a library. A bare name is looked for in the program's folder, then
// in the working folder; a name ending in ".dll" that is not found is tried
// again with the platform's own suffix. Null when nothing loads.
void* openLibrary(const char* name);
void* librarySymbol(void* library, const char* symbol);
void closeLibrary(void* library);
// Why the last openLibrary failed.
const char* lastLibraryError();

} // namespace platform
