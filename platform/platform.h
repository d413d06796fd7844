// The platform layer: everything the core needs from the operating system,
// behind one header. The Linux back end lives in platform/sdl/.
#pragma once

#include <cstdint>

namespace platform {

struct UtcTime {
    unsigned year, month, day;
    unsigned hour, minute, second, millisecond;
};

// The current wall-clock time in UTC.
UtcTime utcNow();

enum class MessageIcon { information, error };

// A modal message box without an owner window. When there is no display,
// or the program runs non-interactively, the text goes to standard error
// and nothing blocks.
void messageBox(const char* caption, const char* text, MessageIcon icon);

// Non-interactive runs (capture mode, tests) never block on a dialog.
void setInteractive(bool interactive);
bool isInteractive();

} // namespace platform
