// The mixer: the registry of channels and the loop that sums them.
//
// Threads. The main thread creates, changes and frees channels; one mixing
// thread at a time (the output device's thread, the null device's, or the
// caller of BASS_MixOffline) calls mix(). They share two kinds of lock:
//   - the registry mutex guards the handle table; it is held only to look up,
//     add or remove an entry, or to copy the list of channels at the start of
//     a block, never while rendering;
//   - each channel's own lock guards that channel's state; the mixing thread
//     holds it while rendering that one channel, and freeing a channel takes
//     it, so once freeChannel returns the mixer never touches what the
//     channel played from.
// Neither is held while calling the output functions that wait for the
// mixing thread (pausing or closing the device), so those cannot deadlock.
#pragma once

#include "bass.h"
#include "channel_data.h"
#include "cue_sheet.h"
#include "dsp.h"
#include "handles.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace kxaudio {

// One source of 16-bit stereo frames in the mix.
class cModuleDecoder;

class cChannel {
public:
    virtual ~cChannel() = default;

    // Produces up to `frames` frames (interleaved left, right) into `out`
    // and returns how many it produced; the rest of the block is silence.
    // Fewer than `frames` means the channel has reached its end: the mixer
    // then stops it and marks it ended. Called on the mixing thread with
    // `lock` held.
    virtual DWORD render(int16_t* out, DWORD frames) = 0;

    // Goes back to the beginning, for playing again after the end; false
    // when the channel cannot. Called with `lock` held.
    virtual bool rewind() { return true; }

    // Drops what the channel plays from. Called once, with `lock` held, when
    // its handle is freed.
    virtual void release() { }

    // Moves the channel so that the next frame it renders is frame `frame`
    // of what it plays (at the output rate), and sets `frame` to where it
    // landed when that differs (a module lands where libopenmpt's seek puts
    // it). Returns a BASS_ code: BASS_ERROR_POSITION beyond the end,
    // BASS_ERROR_NOTAVAIL for a channel that cannot seek. The caller then
    // sets `position` to `frame`. Called with `lock` held.
    virtual int seek(uint64_t& frame)
    {
        (void)frame;
        return BASS_ERROR_NOTAVAIL;
    }

    // The length of what it plays in frames at the output rate (one pass of a
    // tune that loops); false when not known. Called with `lock` held.
    virtual bool lengthFrames(uint64_t& frames) const
    {
        (void)frames;
        return false;
    }

    // What it plays, for placing it by show time (cue_sheet.h): its length,
    // whether and where it goes on after it, a sample's playback limit.
    // Called with `lock` held.
    virtual tShape shape() const
    {
        tShape s;
        uint64_t frames = 0;
        s.known = lengthFrames(frames);
        s.length = frames;
        return s;
    }
    // A sample's playbacks: their frames, oldest first; and replacing them
    // all (the rest do nothing). Called with `lock` held.
    virtual std::vector<uint64_t> voicePositions() const { return {}; }
    virtual void setVoices(const std::vector<uint64_t>& frames) { (void)frames; }

    // The frame BASS_ChannelGetPosition reports. Called with `lock` held.
    virtual uint64_t playPosition() const { return position; }

    // The tracker module it plays, for positions by order and row; null for
    // other kinds. Used with `lock` held.
    virtual cModuleDecoder* module() { return nullptr; }

    // Music or a stream: what KXAUDIO_PlayingMusic reports, unlike samples.
    virtual bool isMusic() const { return false; }

    // Recursive so that code running on the mixing thread while the channel
    // is being mixed (a DSP procedure) may still free or change it.
    std::recursive_mutex lock;
    bool playing = false;  // under lock: only playing channels are mixed
    bool released = false; // under lock: freed; a block already under way skips it
    bool ended = false;    // under lock: stopped by reaching its end
    // Under lock: frames mixed since it started from its beginning or from
    // where BASS_ChannelSetPosition put it; a loop does not set it back, so it
    // is the channel's play time, which a clock may follow.
    uint64_t position = 0;
    uint64_t started = 0; // under lock: when a play call last started it (a serial number, 0 never)
    float volume = 1.0f;  // under lock: gain of its contribution to the mix, 0..1
    DWORD handle = 0;     // set once when registered, before the mixer sees it
    cDspChain dsps;       // under lock
    cChannelData data;    // under lock: its latest output
};

class cMixer {
public:
    // Frames mixed in one pass; longer requests are mixed in blocks of this.
    static constexpr DWORD kBlockFrames = 1024;

    cMixer();

    // Sets the output rate for a new session (BASS_Init).
    void setRate(DWORD rate) { rate_.store(rate); }
    DWORD rate() const { return rate_.load(); }

    // Registers a channel; returns its handle, 0 on failure.
    DWORD addChannel(std::shared_ptr<cChannel> channel);
    std::shared_ptr<cChannel> channel(DWORD handle) const;
    // Unregisters and releases a channel; false when the handle is not in use.
    bool freeChannel(DWORD handle);
    // Frees every channel (BASS_Free).
    void freeAll();
    size_t channelCount() const;
    // The channels registered now.
    std::vector<std::shared_ptr<cChannel>> channels() const;

    // Mixes `frames` frames into `out` (any alignment): the sum of every
    // playing channel, each after its DSPs, saturated to 16 bits.
    void mix(void* out, DWORD frames);

    // Copies the latest min(bytes, cChannelData::kBytes) bytes of the mix's
    // output, as cChannelData::copyLatest does; returns the bytes copied.
    DWORD copyMixData(void* out, DWORD bytes) const;

    // Frames mixed since the library was loaded.
    uint64_t mixedFrames() const { return mixed_.load(); }

    // True on a thread while it is inside mix(), where calls that wait for
    // the mixer (closing or stopping the output, offline mixing) must fail
    // instead of deadlocking.
    static bool onMixingThread();

private:
    void mixBlock(unsigned char* out, DWORD frames);
    static void releaseChannel(cChannel& channel);

    mutable std::mutex registryMutex_;
    cHandleTable<cChannel> channels_;

    // Held for the whole of mix(): it keeps two callers of BASS_MixOffline
    // off the scratch buffers below. Only mixing threads take it.
    std::mutex mixMutex_;
    std::vector<std::shared_ptr<cChannel>> snapshot_;
    std::vector<int32_t> sum_;
    std::vector<int16_t> channelBlock_;
    std::vector<int16_t> outBlock_;

    // The mix's latest output, as it went to the output. Its lock is held
    // only to append a block or to copy the tail, never with another.
    mutable std::mutex mixDataMutex_;
    cChannelData mixData_;

    std::atomic<DWORD> rate_{44100};
    std::atomic<uint64_t> mixed_{0};
};

} // namespace kxaudio
