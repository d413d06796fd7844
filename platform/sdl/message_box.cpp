// Linux back end: message boxes through SDL.
#include "platform/backend/message_box.h"

#include <SDL.h>

namespace platform {

bool showMessageBox(const char* caption, const char* text, MessageIcon icon)
{
    const Uint32 flags = icon == MessageIcon::error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
    return SDL_ShowSimpleMessageBox(flags, caption, text, nullptr) == 0;
}

} // namespace platform
