#include "sound_decoder.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>

namespace kxaudio {

namespace {

constexpr int kMaxChannels = 256;
constexpr int kMinSourceRate = 1000;
constexpr int kMaxSourceRate = 768000;
// Source frames decoded per libsndfile call, whatever the channel count.
constexpr size_t kChunkSamples = 4096;
// Longest source whose length and places are counted (in 32.32 fixed point
// they must not overflow): 2^31 frames, over 12 hours at 48 kHz.
constexpr int64_t kMaxCountedFrames = int64_t(1) << 31;

// libsndfile's virtual I/O over a tMemoryFile.
struct tMemoryIo {
    static sf_count_t length(void* user) { return static_cast<tMemoryFile*>(user)->size; }

    static sf_count_t seek(sf_count_t offset, int whence, void* user)
    {
        auto* m = static_cast<tMemoryFile*>(user);
        int64_t base = 0;
        switch (whence) {
        case SEEK_SET:
            base = 0;
            break;
        case SEEK_CUR:
            base = m->at;
            break;
        case SEEK_END:
            base = m->size;
            break;
        default:
            return -1;
        }
        // As with a file: any position from 0 on, reads past the end get
        // nothing (a position that would overflow is refused).
        if ((offset < 0 && -offset > base) || (offset > 0 && offset > INT64_MAX - base)) {
            return -1;
        }
        m->at = base + offset;
        return m->at;
    }

    static sf_count_t read(void* ptr, sf_count_t count, void* user)
    {
        auto* m = static_cast<tMemoryFile*>(user);
        if (count <= 0 || m->at >= m->size) {
            return 0;
        }
        const sf_count_t n = std::min<sf_count_t>(count, m->size - m->at);
        std::memcpy(ptr, m->data + m->at, size_t(n));
        m->at += n;
        return n;
    }

    static sf_count_t write(const void*, sf_count_t, void*) { return 0; }

    static sf_count_t tell(void* user) { return static_cast<tMemoryFile*>(user)->at; }
};

} // namespace

std::unique_ptr<cSoundDecoder> cSoundDecoder::open(const unsigned char* data, size_t size, DWORD outRate, int& error)
{
    error = BASS_ERROR_FILEFORM;
    if (!data || size == 0 || outRate == 0) {
        return nullptr;
    }
    std::unique_ptr<cSoundDecoder> d(new cSoundDecoder);
    d->memory_ = tMemoryFile{data, int64_t(size), 0};

    static SF_VIRTUAL_IO io = {&tMemoryIo::length, &tMemoryIo::seek, &tMemoryIo::read, &tMemoryIo::write,
                               &tMemoryIo::tell};
    SF_INFO info{};
    d->file_ = sf_open_virtual(&io, SFM_READ, &info, &d->memory_);
    if (!d->file_) {
        return nullptr;
    }
    if (info.channels < 1 || info.channels > kMaxChannels || info.samplerate < kMinSourceRate ||
        info.samplerate > kMaxSourceRate) {
        return nullptr;
    }
    d->channels_ = info.channels;
    d->inRate_ = info.samplerate;
    d->outRate_ = outRate;
    d->chunk_.resize(std::max<size_t>(kChunkSamples, size_t(info.channels)));
    d->resample_ = DWORD(info.samplerate) != outRate;
    d->step_ = (uint64_t(uint32_t(info.samplerate)) << 32) / outRate;
    if (info.frames >= 0 && info.frames <= kMaxCountedFrames) {
        d->sourceFrames_ = info.frames;
    }
    error = BASS_OK;
    return d;
}

cSoundDecoder::~cSoundDecoder()
{
    if (file_) {
        sf_close(file_);
    }
}

bool cSoundDecoder::refill()
{
    const size_t capacity = chunk_.size() / size_t(channels_);
    const sf_count_t got = sf_readf_short(file_, chunk_.data(), sf_count_t(capacity));
    chunkFrames_ = got > 0 ? size_t(got) : 0;
    chunkAt_ = 0;
    return chunkFrames_ > 0;
}

bool cSoundDecoder::advance(bool loop)
{
    if (chunkAt_ >= chunkFrames_ && !refill()) {
        // Loop only when the data yields frames after rewinding, so empty or
        // undecodable data ends instead of spinning.
        if (!loop || !rewindSource() || !refill()) {
            return false;
        }
    }
    const int16_t* frame = &chunk_[chunkAt_ * size_t(channels_)];
    next_[0] = frame[0];
    next_[1] = channels_ > 1 ? frame[1] : frame[0];
    ++chunkAt_;
    return true;
}

DWORD cSoundDecoder::read(int16_t* out, DWORD frames, bool loop)
{
    if (!file_) {
        return 0;
    }
    DWORD produced = 0;
    if (!resample_) {
        for (; produced < frames; ++produced) {
            if (!advance(loop)) {
                break;
            }
            out[2 * produced] = next_[0];
            out[2 * produced + 1] = next_[1];
        }
        return produced;
    }

    if (!primed_) {
        if (!advance(loop)) {
            return 0;
        }
        cur_[0] = next_[0];
        cur_[1] = next_[1];
        if (!advance(loop)) {
            next_[0] = cur_[0];
            next_[1] = cur_[1];
        }
        primed_ = true;
        phase_ = startPhase_;
        startPhase_ = 0;
    }
    for (; produced < frames; ++produced) {
        while (phase_ >= (uint64_t(1) << 32)) {
            cur_[0] = next_[0];
            cur_[1] = next_[1];
            if (!advance(loop)) {
                primed_ = false;
                return produced;
            }
            phase_ -= uint64_t(1) << 32;
        }
        const int64_t f = int64_t(phase_); // fraction in 1/2^32 steps
        for (int c = 0; c < 2; ++c) {
            const int64_t a = cur_[c];
            const int64_t b = next_[c];
            out[2 * produced + c] = int16_t(a + (((b - a) * f) >> 32));
        }
        phase_ += step_;
    }
    return produced;
}

bool cSoundDecoder::rewindSource()
{
    if (!file_ || sf_seek(file_, 0, SEEK_SET) != 0) {
        return false;
    }
    chunkFrames_ = 0;
    chunkAt_ = 0;
    return true;
}

bool cSoundDecoder::rewind()
{
    if (!rewindSource()) {
        return false;
    }
    primed_ = false;
    phase_ = 0;
    startPhase_ = 0;
    return true;
}

bool cSoundDecoder::lengthFrames(uint64_t& frames) const
{
    if (sourceFrames_ < 0) {
        return false;
    }
    if (!resample_) {
        frames = uint64_t(sourceFrames_);
        return true;
    }
    // Output frame n lies between source frames n * step and the one after
    // (in 32.32 fixed point), and read() stops when that one is missing: the
    // frames are those with n * step < sourceFrames - 1. A lone source frame
    // is its own successor.
    const uint64_t span = uint64_t(std::max<int64_t>(sourceFrames_ - 1, sourceFrames_ > 0 ? 1 : 0)) << 32;
    frames = (span + step_ - 1) / step_;
    return true;
}

int cSoundDecoder::seek(uint64_t frame)
{
    uint64_t length = 0;
    if (!file_ || !lengthFrames(length)) {
        return BASS_ERROR_NOTAVAIL;
    }
    if (frame > length) {
        return BASS_ERROR_POSITION;
    }
    // Within the length, frame * step stays below 2^63. At the length the
    // data is left at its end, where reading from the start stops too.
    const uint64_t place = frame == length ? uint64_t(sourceFrames_) << 32 : resample_ ? frame * step_ : frame << 32;
    const auto source = sf_count_t(place >> 32);
    if (sf_seek(file_, source, SEEK_SET) != source) {
        return BASS_ERROR_NOTAVAIL;
    }
    chunkFrames_ = 0;
    chunkAt_ = 0;
    primed_ = false;
    phase_ = 0;
    startPhase_ = place & 0xFFFFFFFFu;
    return BASS_OK;
}

} // namespace kxaudio
