// The keyboard focus across showing a window that is not to take it.
#pragma once

struct SDL_Window;

namespace platform {

// Notes which window has the keyboard focus now (on X11 the server's own
// focus window, which may belong to another program) so that it can be
// given back after another window was shown. SDL gives the focus to every
// window it shows when no window manager runs.
class cKeptFocus {
public:
    // shown: the window about to be shown (its display is asked).
    explicit cKeptFocus(SDL_Window* shown);
    // Gives the focus back to the noted window, if there was one.
    void restore();

private:
    SDL_Window* shown_;
    SDL_Window* sdlFocus_;       // SDL's focus window where X11 cannot be asked
    unsigned long x11Focus_ = 0; // the X11 window that had the focus, 0 for none
    int x11Revert_ = 0;
};

} // namespace platform
