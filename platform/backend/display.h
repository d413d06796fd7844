// Whether the back end has a display, for the portable message boxes and
// the headless run set-up.
#pragma once

namespace platform {

// Whether windows can be shown: a display, and a window system that puts
// windows on it.
bool displayAvailable();

} // namespace platform
