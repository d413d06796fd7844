// Message boxes, and whether the program may open them at all.
#pragma once

namespace platform {

enum class MessageIcon { information, error };

// A modal message box without an owner window. When there is no display,
// or the program runs non-interactively, the text goes to standard error
// and nothing blocks.
void messageBox(const char* caption, const char* text, MessageIcon icon);

// Non-interactive runs (capture mode, tests) never block on a dialog.
void setInteractive(bool interactive);
bool isInteractive();

} // namespace platform
