// The process's one audio engine: the output session, the mixer and the
// show's cue sheet, as one object that the library's calls consult. The
// exported calls are thin shells over it.
#pragma once

#include "cue_sheet.h"
#include "mixer.h"
#include "outputs.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace kxaudio {

class cEngine {
public:
    // The session calls (BASS_Init ... BASS_MixOffline, bass.h). Each sets
    // the error code and returns the call's result; none may run on the
    // mixing thread, whose block they would wait for.
    BOOL init(int device, DWORD freq);
    BOOL start();
    BOOL stop();
    BOOL free();
    BOOL setOffline(BOOL on);
    DWORD mixOffline(void* buffer, DWORD frames);

    // The mixer outlives every output session; free() only empties it.
    cMixer& mixer() { return mixer_; }
    // True between a successful init() and free().
    bool initialised() const { return initialised_.load(); }

    // Adds a new channel to the mix of the current session and returns its
    // handle; 0 with `error` set (BASS_ERROR_INIT when not initialised) on
    // failure. The check and the registration happen under the session
    // lock, so a channel is never added after free() has emptied the mixer.
    // On the mixing thread the lock is not taken (in offline mode that
    // thread already holds it, and online the session cannot close while a
    // block is mixed).
    DWORD registerChannel(std::shared_ptr<cChannel> channel, int& error);

    // --- The cue sheet (cue_sheet.h; KXAUDIO_SetCue and the rest in bass.h)
    // A play or pause call on `channel` (its lock held): written down, and
    // true when it is to be carried out too. Calls made on the mixing thread
    // are carried out and not written down.
    bool cue(const cChannel& channel, eCue what);
    void forgetChannel(DWORD handle);
    BOOL setCue(double time, QWORD source, DWORD flags);
    BOOL forgetCues(double after, BOOL scripted);
    BOOL placeChannels(double time);

    // --- A lost output device (KXAUDIO_DeviceLost, KXAUDIO_LoseDevice,
    // KXAUDIO_StallDevice)
    // The first reason of a session is kept; init() and free() clear it.
    void deviceLost(const char* why);
    const char* deviceLostReason() const;
    BOOL loseDevice(bool stall);

private:
    void clearDeviceLost(); // under session_, with no output running
    template <class Body>
    BOOL inSession(Body body);

    // Serialises the session calls. The mixing threads never take it, so a
    // call may hold it while waiting for the output to pause or close.
    std::mutex session_;
    std::unique_ptr<cOutput> output_; // null in offline mode
    bool offline_ = false;            // under session_
    bool started_ = false;            // under session_
    std::atomic<bool> initialised_{false};
    cMixer mixer_;

    // Taken on its own, or inside a channel's lock, never the other way.
    std::mutex cueMutex_;
    cCueSheet cues_;

    // Why the output device was lost; written once per session, before
    // lost_ is set.
    char lostWhy_[256] = {};
    std::atomic<bool> lost_{false};
    std::mutex lostWriter_;
};

// The one engine; never destroyed, so an output left open at exit does not
// find its mixer gone.
cEngine& engine();

inline cMixer& mixer() { return engine().mixer(); }
inline bool initialised() { return engine().initialised(); }
inline DWORD registerChannel(std::shared_ptr<cChannel> channel, int& error)
{
    return engine().registerChannel(std::move(channel), error);
}

// Called by an output whose device stopped taking sound, from any thread;
// the first reason of a session is kept for KXAUDIO_DeviceLost.
void deviceLost(const char* why);

} // namespace kxaudio
