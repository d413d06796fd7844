// Linux back end: UTC time, and message boxes through SDL.
#include "platform/backend/message_box.h"
#include "platform/clock.h"

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <ctime>

namespace platform {

UtcTime utcNow()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    UtcTime t;
    t.year = static_cast<unsigned>(parts.tm_year + 1900);
    t.month = static_cast<unsigned>(parts.tm_mon + 1);
    t.day = static_cast<unsigned>(parts.tm_mday);
    t.hour = static_cast<unsigned>(parts.tm_hour);
    t.minute = static_cast<unsigned>(parts.tm_min);
    t.second = static_cast<unsigned>(parts.tm_sec);
    t.millisecond = static_cast<unsigned>(ms % 1000);
    return t;
}

bool displayAvailable()
{
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && (SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0)) return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

bool showMessageBox(const char* caption, const char* text, MessageIcon icon)
{
    const Uint32 flags = icon == MessageIcon::error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
    return SDL_ShowSimpleMessageBox(flags, caption, text, nullptr) == 0;
}

} // namespace platform
