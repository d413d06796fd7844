// Linux back end: SDL's tick counter and performance counter.
#include "platform/clock.h"

#include <SDL.h>

namespace platform {

uint32_t ticks() { return SDL_GetTicks(); }

double preciseMilliseconds()
{
    static const double perMillisecond = double(SDL_GetPerformanceFrequency()) / 1000.0;
    return double(SDL_GetPerformanceCounter()) / perMillisecond;
}

} // namespace platform
