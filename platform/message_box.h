// Message boxes, and whether the program may open them at all.
#pragma once

#include "platform/api.h"

namespace platform {

enum class MessageIcon { information, error };

// A modal message box without an owner window. When there is no display,
// or the program runs non-interactively, the text goes to standard error
// and nothing blocks.
KX_PLATFORM_API void messageBox(const char* caption, const char* text, MessageIcon icon);

// Non-interactive runs (capture mode, tests) never block on a dialog.
KX_PLATFORM_API void setInteractive(bool interactive);
KX_PLATFORM_API bool isInteractive();

} // namespace platform
