#include "platform/sdl/input_focus.h"

#include <SDL.h>
#include <SDL_syswm.h>

#if defined(SDL_VIDEO_DRIVER_X11)
#include <X11/Xlib.h>
#endif

namespace platform {

namespace {

#if defined(SDL_VIDEO_DRIVER_X11)
Display* x11Display(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    return info.info.x11.display;
}
#endif

} // namespace

cKeptFocus::cKeptFocus(SDL_Window* shown) : shown_(shown), sdlFocus_(SDL_GetKeyboardFocus())
{
#if defined(SDL_VIDEO_DRIVER_X11)
    if (Display* display = x11Display(shown_)) {
        Window focus = None;
        XGetInputFocus(display, &focus, &x11Revert_);
        // None and PointerRoot name no window to give the focus back to.
        if (focus != None && focus != PointerRoot) x11Focus_ = focus;
        return;
    }
#endif
}

void cKeptFocus::restore()
{
#if defined(SDL_VIDEO_DRIVER_X11)
    if (Display* display = x11Display(shown_)) {
        if (x11Focus_ == 0) return;
        // The window may have gone meanwhile; an error from the server then
        // only means there is nothing to give the focus back to.
        XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        XSetInputFocus(display, x11Focus_, x11Revert_, CurrentTime);
        XSync(display, False);
        XSetErrorHandler(previous);
        return;
    }
#endif
    if (sdlFocus_ && sdlFocus_ != shown_) SDL_SetWindowInputFocus(sdlFocus_);
}

} // namespace platform
