#include "platform/sdl/window_class.h"

#include <SDL.h>
#include <SDL_syswm.h>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xutil.h>
#endif

namespace platform {

void setWindowClass(SDL_Window* window, const char* className)
{
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !className || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    XClassHint* hint = XAllocClassHint();
    if (!hint) return;
    // Xlib copies the strings into the property and never writes to them.
    hint->res_name = const_cast<char*>(className);
    hint->res_class = const_cast<char*>(className);
    XSetClassHint(info.info.x11.display, info.info.x11.window, hint);
    XFree(hint);
#else
    (void)window;
    (void)className;
#endif
}

} // namespace platform
