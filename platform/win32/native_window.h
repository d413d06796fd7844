// Windows back end: what a NativeWindow is, shared by the files of this back
// end (the window code makes it, the GL entry points translate device
// contexts through it).
#pragma once

#include "platform/win32/windows_api.h"
#include "platform/window_system.h"

#include <cstddef>

struct platform::NativeWindow {
    HWND hwnd = nullptr;
    HDC dc = nullptr; // the window's own device context (class style CS_OWNDC)
    WindowSink* sink = nullptr;
    ATOM windowClass = 0;
    bool pixelFormatSet = false;     // only for windows asked for with WindowStyle::openGL
    char pixelFormatError[96] = {};  // why the pixel format could not be set
    bool displayModeChanged = false; // enterFullScreen switched the display
    unsigned heldButtons = 0;        // bit n: mouse button n is down (the window holds the mouse capture)
};

namespace platform {

// The window of this back end that a device context belongs to, or null.
NativeWindow* windowOfDeviceContext(HDC dc);

// The text of a system error code, without the trailing line break.
void systemErrorText(DWORD code, char* out, size_t size);

} // namespace platform
