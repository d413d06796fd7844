// What each back end gives the portable message-box policy
// (platform/message_box.cpp).
#pragma once

#include "platform/message_box.h"

namespace platform {

// Whether a dialog can be shown at all: a display, and a window system that
// puts windows on it.
bool displayAvailable();

// Shows a modal message box without an owner window and waits for it to be
// dismissed. False when it could not be shown.
bool showMessageBox(const char* caption, const char* text, MessageIcon icon);

} // namespace platform
