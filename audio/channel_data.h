// The recent output of one channel, or of the whole mix, for
// BASS_ChannelGetData.
//
// Used only under a lock: a channel's with the channel's lock held (the
// mixing thread appends each block it mixes from the channel, after its
// DSPs), the mix's with the mixer's mix-data lock; callers copy the tail.
#pragma once

#include "bass.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kxaudio {

class cChannelData {
public:
    // Frames kept: about 186 ms at 44.1 kHz, far more than a waveform needs.
    static constexpr DWORD kFrames = 8192;
    static constexpr DWORD kBytes = kFrames * 4;

    cChannelData() : ring_(size_t(kFrames) * 2, int16_t(0)) { }

    // Appends `frames` stereo frames; only the last kFrames are kept.
    void append(const int16_t* samples, DWORD frames);
    // Back to silence.
    void clear();
    // Copies the latest min(bytes, kBytes) bytes, rounded down to whole
    // frames, oldest first; returns the number of bytes copied.
    DWORD copyLatest(void* out, DWORD bytes) const;

private:
    std::vector<int16_t> ring_;
    DWORD head_ = 0; // the frame written next, which is also the oldest kept
};

} // namespace kxaudio
