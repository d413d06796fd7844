// The window system: top-level windows, their GL contexts, the display mode,
// and the message queue with its process-wide quit message.
#pragma once

#include "platform/api.h"

namespace platform {

struct NativeWindow;     // one top-level window
using GLContext = void*; // one GL rendering context

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
    virtual void onMouseButton(int button, bool down) = 0; // 0 left, 1 middle, 2 right
};

struct WindowStyle {
    bool popup = false; // no caption
    bool border = true;
    bool resizable = true;
    bool topmost = false;
    bool toolWindow = false;
    bool activate = true; // showing the window gives it the keyboard focus
    // The caption's window menu and its minimise and maximise boxes.
    bool systemMenu = true;
    bool minimizeBox = true;
    bool maximizeBox = true;
    bool openGL = false; // the window will get a GL context
    int colourBits = 32; // GL pixel format
    int depthBits = 24;
};

// Size of the desktop the windows open on; false without a display.
KX_PLATFORM_API bool desktopSize(int* width, int* height);

// Creates and shows a window whose client area has the given size (cWindow
// asks for at least 1 x 1). Null on failure, with the reason in
// lastWindowError().
KX_PLATFORM_API NativeWindow* createWindow(const char* className, const char* title, int x, int y, int width,
                                           int height, const WindowStyle& style, WindowSink* sink);
KX_PLATFORM_API const char* lastWindowError();
// False when the system refused to destroy it; the window is gone from this
// layer either way.
KX_PLATFORM_API bool destroyWindow(NativeWindow* window);
// The sink receiving the window's messages; null stops forwarding.
KX_PLATFORM_API void setWindowSink(NativeWindow* window, WindowSink* sink);
KX_PLATFORM_API void raiseWindow(NativeWindow* window);
// Replaces the text of the window's caption (the task bar's name of it).
KX_PLATFORM_API void setWindowTitle(NativeWindow* window, const char* title);
// Shows a picture in a window that has no GL context: width x height pixels
// of 3 bytes, blue-green-red, bottom row first, scaled to fill the client
// area; null pixels paint it black. Whatever GL context was current stays
// current. False when the window cannot be painted.
KX_PLATFORM_API bool paintWindow(NativeWindow* window, const unsigned char* pixels, int width, int height);

// Switches the display to a full-screen mode of the window's size; false when refused.
KX_PLATFORM_API bool enterFullScreen(NativeWindow* window, int width, int height, int colourBits);
KX_PLATFORM_API void leaveFullScreen(NativeWindow* window);
KX_PLATFORM_API void showCursor(bool visible);

// The steps that make a GL window ready for a context, in their order: the
// window's device context, a pixel format chosen for the style's bits, the
// format set on the device context. A window takes one pixel format for
// its life, so this comes after any display mode change.
enum class PixelFormatStep { done, deviceContext, choose, set };
// Runs the steps (once: a window whose format is set stays as it is) and
// says which one failed, or done.
KX_PLATFORM_API PixelFormatStep setPixelFormat(NativeWindow* window);
// Gives back the device context setPixelFormat took; false when the system
// refused. A window without one succeeds.
KX_PLATFORM_API bool releaseDeviceContext(NativeWindow* window);

// Sets the pixel format first when setPixelFormat has not run.
KX_PLATFORM_API GLContext createGLContext(NativeWindow* window);
KX_PLATFORM_API bool makeCurrent(NativeWindow* window, GLContext context); // null context: none current
KX_PLATFORM_API bool deleteGLContext(GLContext context);
// The context current on this thread, or null when none is: effects that
// keep GL objects check it before they touch them.
KX_PLATFORM_API GLContext currentGLContext();
KX_PLATFORM_API void swapBuffers(NativeWindow* window);

// Takes every pending message without waiting and hands it to its window's
// sink. Returns false when the quit message was among them.
KX_PLATFORM_API bool pumpMessages();
// Posts the process-wide quit message.
KX_PLATFORM_API void postQuit();
// Takes back a quit message posted but not yet seen by pumpMessages, and
// leaves every other message where it is.
KX_PLATFORM_API void discardQuit();

} // namespace platform
