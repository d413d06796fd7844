// Sampled and compressed audio through libsndfile, read from memory and
// delivered as 16-bit stereo at the output rate.
#pragma once

#include "bass.h"

#include <cstdint>
#include <memory>
#include <vector>

struct sf_private_tag; // libsndfile's SNDFILE

namespace kxaudio {

// A file in memory as libsndfile's virtual I/O sees it.
struct tMemoryFile {
    const unsigned char* data;
    int64_t size;
    int64_t at;
};

class cSoundDecoder {
public:
    // Opens `size` bytes at `data`, which must stay valid and unchanged for
    // the decoder's life. Returns null and sets `error` (BASS_ERROR_FILEFORM
    // for data that libsndfile does not read or a layout out of range).
    static std::unique_ptr<cSoundDecoder> open(const unsigned char* data, size_t size, DWORD outRate, int& error);
    ~cSoundDecoder();
    cSoundDecoder(const cSoundDecoder&) = delete;
    cSoundDecoder& operator=(const cSoundDecoder&) = delete;

    // Produces up to `frames` stereo frames; fewer only at the end of the
    // data (with `loop`, only when the data holds no frames at all).
    DWORD read(int16_t* out, DWORD frames, bool loop);
    // Back to the first frame; false when the data cannot be re-read.
    bool rewind();

    int sourceRate() const { return inRate_; }

    // What read() yields from the start without looping, in frames at the
    // output rate; false when the file does not say how long it is.
    bool lengthFrames(uint64_t& frames) const;
    // Moves to output frame `frame` (at most the length), so that what is
    // read next is what reading from the start would give there. Returns a
    // BASS_ code: BASS_ERROR_POSITION beyond the end, BASS_ERROR_NOTAVAIL
    // when the data cannot seek.
    int seek(uint64_t frame);

private:
    cSoundDecoder() = default;
    // Fetches the next source frame into next_; false at the end.
    bool advance(bool loop);
    bool refill();
    // Seeks the data back to its first frame, leaving the resampler alone.
    bool rewindSource();

    tMemoryFile memory_{};
    sf_private_tag* file_ = nullptr;
    int channels_ = 0;
    int inRate_ = 0;
    DWORD outRate_ = 0;
    int64_t sourceFrames_ = -1; // as the file says; -1 when unknown

    // Decoded source frames not yet used, interleaved with channels_.
    std::vector<int16_t> chunk_;
    size_t chunkFrames_ = 0;
    size_t chunkAt_ = 0;

    // Linear interpolation between the source frames cur_ and next_, at
    // phase_ (32.32 fixed point, source frames) advancing by step_ for each
    // output frame.
    bool resample_ = false;
    bool primed_ = false;
    uint64_t phase_ = 0;
    uint64_t step_ = 0;
    uint64_t startPhase_ = 0; // phase_ when priming next, below one source frame
    int16_t cur_[2] = {0, 0};
    int16_t next_[2] = {0, 0};
};

} // namespace kxaudio
