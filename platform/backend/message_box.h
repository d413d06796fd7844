// What each back end gives the portable message-box policy
// (platform/message_box.cpp), besides displayAvailable().
#pragma once

#include "platform/backend/display.h"
#include "platform/message_box.h"

namespace platform {

// Shows a modal message box without an owner window and waits for it to be
// dismissed. False when it could not be shown.
bool showMessageBox(const char* caption, const char* text, MessageIcon icon);

} // namespace platform
