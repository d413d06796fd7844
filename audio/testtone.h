// Internal calls for exercising the mixer without any decoder: a sine
// generator channel, a view of the mixer's counters, and a load that fails
// on demand. Tests and tools use them; they are not part of the BASS-style
// interface.
#pragma once

#include "bass.h"

#ifdef __cplusplus
extern "C" {
#endif

// Creates a playing channel whose frame n (from 0) is, on both sides,
// round(amplitude * sin(2 * pi * freq * n / rate)) with rate the mixer's
// rate. `amplitude` is clamped to 0 ... 32767. Returns its handle, 0 when not
// initialised (BASS_ERROR_INIT) or for a frequency that is not finite
// (BASS_ERROR_ILLPARAM).
KXAUDIO_API DWORD KXAUDIO_TestToneCreate(double freq, int amplitude);

// Frees any channel (BASS_ERROR_HANDLE when the handle is not in use).
KXAUDIO_API BOOL KXAUDIO_ChannelFree(DWORD handle);

// Plays or pauses a channel; a paused channel is not mixed and keeps its
// position.
KXAUDIO_API BOOL KXAUDIO_ChannelSetPlaying(DWORD handle, BOOL playing);

// Frames a channel has rendered since it started from its beginning or from
// where BASS_ChannelSetPosition put it; (unsigned long long)-1 with
// BASS_ERROR_HANDLE for a handle not in use.
KXAUDIO_API unsigned long long KXAUDIO_ChannelPosition(DWORD handle);

// Frames the mixer has mixed since the library was loaded.
KXAUDIO_API unsigned long long KXAUDIO_MixedFrames(void);

// What the next load call (music, stream or sample) throws once it has read
// its file, where its decoder would be made; the load after it is normal.
#define KXAUDIO_FAULT_NONE 0
#define KXAUDIO_FAULT_RUNTIME 1   // std::runtime_error, as a decoder might
#define KXAUDIO_FAULT_LOCK 2      // std::system_error "resource deadlock would occur", as a lock might
#define KXAUDIO_FAULT_RESOURCES 3 // std::system_error "resource unavailable, try again"
#define KXAUDIO_FAULT_MEMORY 4    // std::bad_alloc
#define KXAUDIO_FAULT_FOREIGN 5   // an int: no std::exception at all
KXAUDIO_API void KXAUDIO_ThrowInNextLoad(int fault);

#ifdef __cplusplus
}
#endif
