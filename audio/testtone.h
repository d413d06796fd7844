// Internal calls for exercising the mixer without any decoder: a sine
// generator channel and a view of the mixer's counters. Tests and tools use
// them; they are not part of the BASS-style interface.
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

// Frames a channel has rendered so far; (unsigned long long)-1 with
// BASS_ERROR_HANDLE for a handle not in use.
KXAUDIO_API unsigned long long KXAUDIO_ChannelPosition(DWORD handle);

// Frames the mixer has mixed since the library was loaded.
KXAUDIO_API unsigned long long KXAUDIO_MixedFrames(void);

#ifdef __cplusplus
}
#endif
