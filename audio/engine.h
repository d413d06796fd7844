// The process's one audio engine: the mixer and the session state that the
// calls of every part of the library consult.
#pragma once

#include "mixer.h"

#include <memory>

namespace kxaudio {

// The mixer outlives every output session; BASS_Free only empties it.
cMixer& mixer();

// True between a successful BASS_Init and BASS_Free.
bool initialised();

// Adds a new channel to the mix of the current session and returns its
// handle; 0 with `error` set (BASS_ERROR_INIT when not initialised) on
// failure. The check and the registration happen under the session lock, so
// a channel is never added after BASS_Free has emptied the mixer. On the
// mixing thread the lock is not taken (in offline mode that thread already
// holds it, and online the session cannot close while a block is mixed).
DWORD registerChannel(std::shared_ptr<cChannel> channel, int& error);

// Called by an output whose device stopped taking sound, from any thread;
// the first reason of a session is kept for KXAUDIO_DeviceLost.
void deviceLost(const char* why);

} // namespace kxaudio
