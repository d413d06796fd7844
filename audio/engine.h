// The process's one audio engine: the mixer and the session state that the
// calls of every part of the library consult.
#pragma once

#include "mixer.h"

namespace kxaudio {

// The mixer outlives every output session; BASS_Free only empties it.
cMixer& mixer();

// True between a successful BASS_Init and BASS_Free.
bool initialised();

}  // namespace kxaudio
