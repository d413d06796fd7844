// Linux back end: whether there is a display (an X server or a Wayland
// compositor, and an SDL video driver that shows windows on it), and the
// SDL drivers a headless run uses.
#include "platform/backend/display.h"

#include "platform/headless.h"

#include <SDL.h>

#include <cstdlib>

namespace platform {

bool displayAvailable()
{
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && (SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0)) return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

void useHeadlessDevices()
{
    // A driver named in the environment is the user's choice.
    if (!std::getenv("SDL_VIDEODRIVER") && !displayAvailable()) setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (!std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
}

} // namespace platform
