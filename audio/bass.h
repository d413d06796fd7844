// kxaudio: the audio engine's public calls.
//
// One shared library holds the process's one mixer, so the player (which
// initialises and frees the output) and the effect modules (which load and
// play music on it) talk to the same engine. The mixer produces 16-bit signed
// stereo at the rate given to BASS_Init, on a thread of its own: the output
// device's (SDL's audio thread, or on Windows the engine's waveOut thread),
// the engine's own real-time thread for the null device, or the caller's
// thread in offline mode.
//
// Every call sets the code that BASS_ErrorGetCode returns: BASS_OK when it
// succeeds, one of the BASS_ERROR_ codes below when it fails. The code is
// process-wide, not per thread. No call lets an exception out to its
// caller: a failure inside that throws one sets BASS_ERROR_MEM when memory
// or system resources ran out, otherwise BASS_ERROR_UNKNOWN.
#pragma once

#include <stdint.h>

#if defined(_WIN32)
// DWORD and BOOL are Windows' own; std::min and std::max stay usable.
#ifndef NOMINMAX
#define NOMINMAX
#endif
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

typedef uint64_t QWORD;
#ifndef CALLBACK
#define CALLBACK
#endif

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef DWORD HMUSIC;   // a loaded tracker module
typedef DWORD HSTREAM;  // a decoded sampled or compressed file
typedef DWORD HSAMPLE;  // a sample held in memory
typedef DWORD HCHANNEL; // one playback of a sample
typedef DWORD HDSP;     // a DSP procedure attached to a channel

// A DSP procedure: called on the mixing thread with one block of the
// channel's output, 16-bit signed stereo interleaved (left, right), `length`
// bytes (a multiple of 4), which it may change in place before the block is
// summed into the mix. `channel` is the channel's handle, `user` the value
// given to BASS_ChannelSetDSP.
typedef void(CALLBACK DSPPROC)(HDSP handle, DWORD channel, void* buffer, DWORD length, void* user);

// Flags.
#define BASS_SAMPLE_LOOP 4 // music, stream, sample: start again at the end
// sample: a play beyond `max` cuts the oldest playback (the only behaviour:
// accepted, always in force)
#define BASS_SAMPLE_OVER_POS 0x10000

// The most that a load call accepts as a file's length.
#define KXAUDIO_MAX_FILE_LENGTH (512u * 1024u * 1024u)

// Error codes (BASS_ErrorGetCode).
#define BASS_OK 0               // the last call succeeded
#define BASS_ERROR_MEM 1        // out of memory
#define BASS_ERROR_FILEOPEN 2   // a file could not be opened or read
#define BASS_ERROR_DRIVER 3     // no audio driver or output device could be opened
#define BASS_ERROR_HANDLE 5     // the handle is not (or no longer) valid
#define BASS_ERROR_POSITION 7   // a position beyond the channel's end, or one it does not have
#define BASS_ERROR_INIT 8       // BASS_Init has not been called successfully
#define BASS_ERROR_ALREADY 14   // already initialised, or already in that state
#define BASS_ERROR_ILLPARAM 20  // an argument is out of range
#define BASS_ERROR_DEVICE 23    // no output device with that number
#define BASS_ERROR_NOTAVAIL 37  // not available in this mode or from this thread
#define BASS_ERROR_FILEFORM 41  // the file's format is not supported
#define BASS_ERROR_UNKNOWN (-1) // any other failure

#ifdef __cplusplus
extern "C" {
#endif

// Opens the output and starts mixing at `freq` frames per second
// (8000 ... 192000), 16-bit signed stereo.
//   device -1: the system's default output device (through SDL, or waveOut
//     on Windows);
//   device 0 or -2: no sound: the null device, whose own thread mixes in real
//     time and discards the result, so DSPs and channel data behave as with a
//     real device;
//   device n >= 1: output device number n - 1 (as SDL or waveOut counts
//     them).
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

// --- Loading --------------------------------------------------------------
//
// Every load call takes its file either from memory (`mem` TRUE: `file`
// points to the data, `offset` bytes into it the file starts and it is
// `length` bytes long; the length is the caller's promise and is used as
// given) or from disk (`mem` FALSE: `file` is a path, the file is read whole
// from `offset`, `length` bytes of it or, with 0, to its end). Lengths above
// KXAUDIO_MAX_FILE_LENGTH are refused (BASS_ERROR_ILLPARAM in memory,
// BASS_ERROR_FILEFORM on disk), as is a null pointer or an empty memory
// file (BASS_ERROR_ILLPARAM). Data that no decoder accepts gives handle 0
// and BASS_ERROR_FILEFORM; a file that cannot be read BASS_ERROR_FILEOPEN;
// before BASS_Init BASS_ERROR_INIT. The file's name plays no part: the
// format is recognised from the data.
//
// A new channel is paused; the play calls start it. A channel that has
// played to its end stops; playing it again starts it from the beginning.

// Loads a tracker module (.it .xm .mod .s3m .mtm .mo3 and whatever else
// libopenmpt reads). The module is parsed into a copy of its own during the
// call, so memory data may be freed as soon as this returns. Rendered at the
// output rate whatever `freq` says. The music ends where its order list runs
// out; a position jump back to an order already played (the way a tune is
// made to loop) is followed, so such a tune plays until it is paused or
// freed. `flags` BASS_SAMPLE_LOOP plays any module endlessly, starting again
// after the order list's end; other flags are ignored.
KXAUDIO_API HMUSIC BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags, DWORD freq);

// Prepares a module for playing. Modules are rendered block by block as
// they are mixed, so there is nothing to do beyond checking the handle.
KXAUDIO_API BOOL BASS_MusicPreBuf(HMUSIC handle);

// Plays a module from where it was paused (from the start after its end).
KXAUDIO_API BOOL BASS_MusicPlay(HMUSIC handle);

// Frees a module: when it returns the mixer no longer renders it nor calls
// its DSPs.
KXAUDIO_API BOOL BASS_MusicFree(HMUSIC handle);

// Opens a sampled or compressed file (.wav .ogg .mp3 .mp2 .mp1, .flac and
// whatever else libsndfile reads), decoded as it plays and resampled
// (linearly) to the output rate; mono plays on both sides, only the first
// two of more channels are heard. From memory the stream reads the caller's
// data while it plays: the data must stay valid until BASS_StreamFree (or
// BASS_Free) returns. From disk the file is read into memory of the
// stream's own. `flags` BASS_SAMPLE_LOOP loops; other flags are ignored.
KXAUDIO_API HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);

// Prepares a stream for playing: nothing beyond checking the handle, as
// streams decode block by block as they are mixed.
KXAUDIO_API BOOL BASS_StreamPreBuf(HSTREAM handle);

// Plays a stream: from the start when `flush` is TRUE or after its end,
// else from where it was paused. `flags` BASS_SAMPLE_LOOP makes it loop
// from now on.
KXAUDIO_API BOOL BASS_StreamPlay(HSTREAM handle, BOOL flush, DWORD flags);

// Frees a stream: when it returns the mixer no longer reads its data nor
// calls its DSPs, so memory data may be freed.
KXAUDIO_API BOOL BASS_StreamFree(HSTREAM handle);

// Loads a sample, decoded whole into memory at the output rate: any file
// that BASS_StreamCreateFile plays, or a tracker module (rendered once, from
// its start to its end or to its first jump back). At most `max`
// (1 ... 65535) playbacks sound at once; `flags` BASS_SAMPLE_LOOP loops each
// playback. A decoded sample longer than 2^25 frames (about 12 minutes at
// 44.1 kHz) is refused with BASS_ERROR_MEM. The data is not used after the
// call returns.
KXAUDIO_API HSAMPLE BASS_SampleLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD max, DWORD flags);

// Starts one more playback of the sample from its beginning, and resumes
// the sample's playbacks if it was paused. When `max` are already sounding
// the oldest is cut. The playbacks of a sample are mixed as one channel
// whose handle is the sample's own, so it is that handle that is returned
// and that BASS_ChannelPause, BASS_ChannelGetData and BASS_ChannelSetDSP
// take.
KXAUDIO_API HCHANNEL BASS_SamplePlay(HSAMPLE handle);

// Frees a sample and stops all its playbacks.
KXAUDIO_API BOOL BASS_SampleFree(HSAMPLE handle);

// --- Any channel (music, stream, sample) ------------------------------------

// Channel attributes for BASS_ChannelSetAttribute.
#define BASS_ATTRIB_VOL 2 // the channel's volume in the mix, 0 (silent) to 1 (full)

// Sets an attribute of a channel (only BASS_ATTRIB_VOL; values are clamped
// to 0..1). BASS_ERROR_ILLPARAM for another attribute or a value that is
// not a number.
KXAUDIO_API BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value);

// Pauses a channel; it keeps its position, and the play calls resume it.
// Pausing a paused channel succeeds.
KXAUDIO_API BOOL BASS_ChannelPause(DWORD handle);

// BASS_ChannelGetData's `length`: a number of bytes, or one of these.
#define BASS_DATA_AVAILABLE 0        // how many bytes a call could copy (32768), nothing copied
#define BASS_DATA_FLOAT 0x40000000   // | bytes: samples as floats, -1 ... 1
#define BASS_DATA_FFT256 0x80000000  // 128 floats: the spectrum of the latest 256 frames
#define BASS_DATA_FFT512 0x80000001  // 256 floats
#define BASS_DATA_FFT1024 0x80000002 // 512 floats
#define BASS_DATA_FFT2048 0x80000003 // 1024 floats
#define BASS_DATA_FFT4096 0x80000004 // 2048 floats
#define BASS_DATA_FFT8192 0x80000005 // 4096 floats

// A handle BASS_ChannelGetData takes besides the channels' own: the whole
// mix, every channel after its DSPs and volume, summed and saturated as it
// went to the output (offline: as BASS_MixOffline returned it). So a shader
// can show the music without knowing which effect plays it. No channel
// ever gets this handle.
#define KXAUDIO_MIX 0x7FFFFFFFu

// Copies the most recent output of the channel as it went into the mix
// (after its DSPs, before its volume), or of the whole mix for KXAUDIO_MIX,
// into `buffer`, oldest first. The latest 8192 frames are kept: zeros
// before the channel has played (the mix: before it has mixed in this
// session), and a paused channel keeps its last output. By `length`:
//   - a number of bytes: 16-bit stereo frames; returns the bytes copied,
//     `length` rounded down to whole frames, at most 32768;
//   - BASS_DATA_FLOAT | bytes: the same frames as floats (-1 ... 1, two a
//     frame, 8 bytes); returns the bytes written, at most 65536;
//   - BASS_DATA_FFTn: the magnitude spectrum of the latest n frames, left
//     and right averaged, under a Hann window: n / 2 floats, bins 0 ...
//     n / 2 - 1 (bin k is k * rate / n Hz), scaled so that a full-scale sine
//     at a bin's centre gives 1.0 there (between two bins down to 0.85 in
//     each); returns the bytes of frames used, n * 4;
//   - BASS_DATA_AVAILABLE: writes nothing (`buffer` may be null) and returns
//     32768 (65536 with BASS_DATA_FLOAT).
// Returns (DWORD)-1 on failure: BASS_ERROR_HANDLE, BASS_ERROR_INIT for
// KXAUDIO_MIX outside a session, BASS_ERROR_ILLPARAM for a null buffer or
// flags not listed here.
KXAUDIO_API DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length);

// Attaches a DSP procedure to a channel and returns its handle (never 0).
// Procedures with a higher `priority` are called first; among equal
// priorities, in the order they were attached. May be called from a DSP
// procedure; one attached to the channel being mixed is called from the
// next block on.
KXAUDIO_API HDSP BASS_ChannelSetDSP(DWORD handle, DSPPROC* proc, void* user, int priority);

// Detaches a DSP procedure. When it returns the mixer no longer calls it (a
// procedure that removes itself is, of course, still running), so its user
// data may be freed.
KXAUDIO_API BOOL BASS_ChannelRemoveDSP(DWORD handle, HDSP dsp);

// --- Positions ------------------------------------------------------------
//
// A channel's position is how much of it has been mixed into the output: it
// moves on as the mixer renders the channel, block by block (at most 1024
// frames, about 23 ms at 44.1 kHz), and the output device's buffer (about
// 23 ms with SDL) lies between it and what is heard, so a clock that
// follows it follows what is heard to within those. It counts the
// channel's play time since it started from its beginning (or from where
// BASS_ChannelSetPosition put it): a loop, or a tune's jump back, does not
// set it back, so it may pass the length. Positions and lengths are in
// bytes of the channel's output, 16-bit stereo at the rate given to
// BASS_Init (4 bytes a frame) whatever the file's own format; offline,
// BASS_MixOffline of n frames moves a channel playing throughout by
// exactly n * 4 bytes.
//
// A sample's position is that of its newest playback (the one
// BASS_SamplePlay started last) in the sample's data, 0 when none sounds.

// Position modes.
#define BASS_POS_BYTE 0 // bytes of the output
// modules: order and row, LOWORD = order, HIWORD = row
#define BASS_POS_MUSIC_ORDER 1

// The channel's position in `mode`: BASS_POS_BYTE for any channel,
// BASS_POS_MUSIC_ORDER (the order and row that play next) for modules only.
// Returns (QWORD)-1 on failure: BASS_ERROR_HANDLE, BASS_ERROR_NOTAVAIL for
// order and row of a channel that is no module, BASS_ERROR_ILLPARAM for
// another mode.
KXAUDIO_API QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode);

// Moves a channel, playing or paused, so that it goes on from `pos`; a
// channel that has played to its end is then resumed from there by the play
// calls. BASS_POS_BYTE (rounded down to whole frames) moves a module to the
// start of a row near that time (where libopenmpt's seek lands, which the
// position then reports; the notes held there sound), a stream to exactly
// that frame of its decoded sound, a sample's newest playback to that frame
// of the sample; BASS_POS_MUSIC_ORDER moves a module to the start of a row.
// Safe while the mixer runs: the move happens between two blocks. Fails
// with BASS_ERROR_POSITION beyond the channel's length
// (BASS_ChannelGetLength; the length itself is allowed) or for an order or
// row the module does not have, BASS_ERROR_NOTAVAIL for a channel that
// cannot move (a stream whose length is unknown, a sample with no playback
// sounding, order and row of a channel that is no module),
// BASS_ERROR_ILLPARAM for another mode, BASS_ERROR_HANDLE.
KXAUDIO_API BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode);

// The length of what a channel plays: BASS_POS_BYTE for modules (one pass,
// to the end of the order list or the first jump back, as libopenmpt
// reckons it), streams (the decoded sound at the output rate, when the file
// says how long it is) and samples; BASS_POS_MUSIC_ORDER the number of
// orders of a module. (QWORD)-1 on failure: BASS_ERROR_NOTAVAIL when not
// known or not a module, BASS_ERROR_ILLPARAM for another mode,
// BASS_ERROR_HANDLE.
KXAUDIO_API QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode);

// `pos` bytes of the channel's output in seconds; a negative value with
// BASS_ERROR_HANDLE for a handle not in use.
KXAUDIO_API double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos);

// `pos` seconds in bytes of the channel's output, rounded down to whole
// frames. (QWORD)-1 on failure: BASS_ERROR_ILLPARAM for a time that is
// negative, not finite or absurdly large, BASS_ERROR_HANDLE.
KXAUDIO_API QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos);

// The music or stream channel (not a sample) whose play call started or
// resumed it most recently among those still playing; 0 when none plays
// (and BASS_ERROR_INIT before BASS_Init). A clock that follows the music
// asks this, then BASS_ChannelGetPosition, without knowing who plays it.
KXAUDIO_API DWORD KXAUDIO_PlayingMusic(void);

// --- The show's cue sheet -----------------------------------------------------
//
// The engine writes down every play and pause call (BASS_MusicPlay,
// BASS_StreamPlay, BASS_SamplePlay, BASS_ChannelPause) with the show time it
// belongs to, and can put every channel where those calls have it at any
// show time: a tune at its place (round its loop, for a tune that repeats
// itself), a tune that played to its end ended, each playback of a sample
// where it is or finished, a channel whose play lies after that time paused
// at its start, waiting for it. So a show that is rebuilt or scrubbed places
// its sound instead of replaying play calls. Calls made on the mixing thread
// are carried out and not written down; these calls fail there with
// BASS_ERROR_NOTAVAIL.

// KXAUDIO_SetCue's flags: the calls are only written down, not carried out
// (the show is brought to its time, its sound is placed afterwards).
#define KXAUDIO_CUE_REHEARSE 1

// The show time (seconds) the play and pause calls made from now on belong
// to, and who makes them: `source` names the script fragment (any number
// but 0, the same for each run of it), 0 a performer. A source that makes
// calls again forgets the ones it made before, so a fragment run again by a
// scrub does not play twice. BASS_ERROR_ILLPARAM for a time that is not
// finite or an unknown flag.
KXAUDIO_API BOOL KXAUDIO_SetCue(double showTime, QWORD source, DWORD flags);

// Forgets the calls written down for times after `after`, and with
// `scripted` every call a script fragment made (the script is read anew).
KXAUDIO_API BOOL KXAUDIO_ForgetCues(double after, BOOL scripted);

// Puts every channel that has had a play or pause call since it was loaded
// where those calls made before `showTime` have it then, and forgets the
// ones after it. A playing channel within a quarter of a second of its
// place plays on untouched. BASS_ERROR_INIT outside a session.
KXAUDIO_API BOOL KXAUDIO_PlaceChannels(double showTime);

// Why the output device stopped taking sound during this session (a USB
// headset unplugged: "waveOutWrite: ..."), or null while it works and
// outside a session. From the loss on, the engine mixes on a timer of its
// own at the real-time rate and discards the sound, as the null device does,
// so positions, DSPs and channel data go on; BASS_Free and BASS_Init clear
// it.
KXAUDIO_API const char* KXAUDIO_DeviceLost(void);

// For tests of what follows a lost device: the output device's next write
// fails as an unplugged device's does. Without a device (offline, the null
// device) the session counts as lost at once. FALSE with BASS_ERROR_INIT
// outside a session.
KXAUDIO_API BOOL KXAUDIO_LoseDevice(void);

// For tests of a device that hangs instead of refusing writes: the output
// device stops handing played buffers back. The output reports the loss
// once nothing has come back for two seconds, and goes on as after a
// refused write. Without a device the session counts as lost at once.
// FALSE with BASS_ERROR_INIT outside a session.
KXAUDIO_API BOOL KXAUDIO_StallDevice(void);

#ifdef __cplusplus
}
#endif
