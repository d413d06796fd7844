// Windows back end: what a NativeWindow is, shared by the files of this back
// end (the window code makes it, the GL entry points translate device
// contexts through it).
#pragma once

#include "platform/win32/windows_api.h"
#include "platform/window_system.h"

#include <cstddef>

struct platform::NativeWindow {
    HWND hwnd = nullptr;
    // The window's own device context (class style CS_OWNDC). A GL window
    // takes it when its pixel format is set, after any display mode change.
    HDC dc = nullptr;
    WindowSink* sink = nullptr;
    ATOM windowClass = 0;
    bool openGL = false;             // asked for with WindowStyle::openGL
    int colourBits = 32, depthBits = 24; // its pixel format's
    bool pixelFormatSet = false;
    bool displayModeChanged = false; // enterFullScreen switched the display
    unsigned heldButtons = 0;        // bit n: mouse button n is down (the window holds the mouse capture)
};

namespace platform {

// The window of this back end that a device context belongs to, or null.
NativeWindow* windowOfDeviceContext(HDC dc);

// The text of a system error code, without the trailing line break.
void systemErrorText(DWORD code, char* out, size_t size);

// The user's session is ending (log-off or shut-down): records it as a stop
// request (console.cpp).
void requestStopForSessionEnd(bool logOff);
// Runs the handler the program set with setSessionEndHandler, once.
void finishForSessionEnd();

} // namespace platform
