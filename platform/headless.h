// Runs without a person: nobody watches the windows or listens to the sound.
#pragma once

#include "platform/api.h"

namespace platform {

// From now on windows open even without a display (drawn off screen when
// there is none), and no sound device is opened. A device the user chose
// for the program stands. Call it before the first window opens and before
// the audio engine starts.
KX_PLATFORM_API void useHeadlessDevices();

} // namespace platform
