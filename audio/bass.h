// kxaudio: the audio engine's public calls.
//
// One shared library holds the process's one mixer, so the player (which
// initialises and frees the output) and the effect modules (which load and
// play music on it) talk to the same engine. The mixer produces 16-bit signed
// stereo at the rate given to BASS_Init, on a thread of its own: SDL's audio
// thread when an SDL output device is open, the engine's own real-time thread
// for the null device, or the caller's thread in offline mode.
//
// Every call sets the code that BASS_ErrorGetCode returns: BASS_OK when it
// succeeds, one of the BASS_ERROR_ codes below when it fails. The code is
// process-wide, not per thread.
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#include <windows.h>
#if defined(KXAUDIO_BUILD)
#define KXAUDIO_API __declspec(dllexport)
#else
#define KXAUDIO_API __declspec(dllimport)
#endif
#else
typedef uint32_t DWORD;
typedef int BOOL;
#define KXAUDIO_API __attribute__((visibility("default")))
#endif

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef DWORD HMUSIC;    // a loaded tracker module
typedef DWORD HSTREAM;   // a decoded sampled or compressed file
typedef DWORD HSAMPLE;   // a sample held in memory
typedef DWORD HCHANNEL;  // one playback of a sample
typedef DWORD HDSP;      // a DSP procedure attached to a channel

// Error codes (BASS_ErrorGetCode).
#define BASS_OK 0                // the last call succeeded
#define BASS_ERROR_MEM 1         // out of memory
#define BASS_ERROR_FILEOPEN 2    // a file could not be opened or read
#define BASS_ERROR_DRIVER 3      // no audio driver or output device could be opened
#define BASS_ERROR_HANDLE 5      // the handle is not (or no longer) valid
#define BASS_ERROR_INIT 8        // BASS_Init has not been called successfully
#define BASS_ERROR_ALREADY 14    // already initialised, or already in that state
#define BASS_ERROR_ILLPARAM 20   // an argument is out of range
#define BASS_ERROR_DEVICE 23     // no output device with that number
#define BASS_ERROR_NOTAVAIL 37   // not available in this mode or from this thread
#define BASS_ERROR_FILEFORM 41   // the file's format is not supported
#define BASS_ERROR_UNKNOWN (-1)  // any other failure

#ifdef __cplusplus
extern "C" {
#endif

// Opens the output and starts mixing at `freq` frames per second
// (8000 ... 192000), 16-bit signed stereo.
//   device -1: the system's default output device (through SDL);
//   device 0 or -2: no sound: the null device, whose own thread mixes in real
//     time and discards the result, so DSPs and channel data behave as with a
//     real device;
//   device n >= 1: SDL output device number n - 1.
// In offline mode (BASS_SetOffline) no device is opened whatever `device` is.
// `flags`, `win` and `clsid` are accepted and ignored.
// Fails with BASS_ERROR_ALREADY when already initialised, BASS_ERROR_DRIVER
// when the device cannot be opened (retry with -2), BASS_ERROR_DEVICE for a
// device number that does not exist, BASS_ERROR_ILLPARAM for a bad rate.
KXAUDIO_API BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* clsid);

// Resumes mixing after BASS_Stop (BASS_Init starts it). Channels carry on
// from where they were.
KXAUDIO_API BOOL BASS_Start(void);

// Halts mixing: when it returns the mixer is no longer called, and every
// channel keeps its position. Offline mixing then yields silence.
KXAUDIO_API BOOL BASS_Stop(void);

// Closes the output and frees every channel. Fails with BASS_ERROR_INIT when
// not initialised.
KXAUDIO_API BOOL BASS_Free(void);

// The code set by the last call.
KXAUDIO_API int BASS_ErrorGetCode(void);

// Offline mode, for capturing a show: call before BASS_Init. BASS_Init then
// opens no device and starts no thread, and the caller pulls the mix with
// BASS_MixOffline. Fails with BASS_ERROR_ALREADY while initialised.
KXAUDIO_API BOOL BASS_SetOffline(BOOL on);

// Offline mode: mixes `frames` 16-bit stereo frames (4 bytes each) into
// `buffer` and returns the number written, which is `frames` on success and
// 0 on failure (BASS_ERROR_INIT, BASS_ERROR_NOTAVAIL when not offline,
// BASS_ERROR_ILLPARAM for a null buffer). After BASS_Stop the frames are
// silence and no channel advances.
KXAUDIO_API DWORD BASS_MixOffline(void* buffer, DWORD frames);

#ifdef __cplusplus
}
#endif
