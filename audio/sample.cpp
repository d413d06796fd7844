// Samples decoded whole into memory and played any number of times at
// once: BASS_SampleLoad, BASS_SamplePlay and BASS_SampleFree.

#include "channel.h"
#include "load.h"
#include "module_decoder.h"
#include "sound_decoder.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace kxaudio {

namespace {

constexpr size_t kMaxSampleFrames = size_t(1) << 25;
constexpr DWORD kMaxVoices = 65535;

// Decodes everything `read(out, frames)` yields, in blocks. Fails with
// BASS_ERROR_MEM past kMaxSampleFrames, which also bounds the time spent on
// a module that never ends.
template <class F> int decodeAll(F&& read, std::vector<int16_t>& pcm)
{
    constexpr DWORD kBlock = 4096;
    size_t frames = 0;
    for (;;) {
        if (frames >= kMaxSampleFrames) {
            return BASS_ERROR_MEM;
        }
        pcm.resize((frames + kBlock) * 2);
        const DWORD got = std::min<DWORD>(read(&pcm[frames * 2], kBlock), kBlock);
        frames += got;
        if (got < kBlock) {
            break;
        }
    }
    pcm.resize(frames * 2);
    pcm.shrink_to_fit();
    return frames > 0 ? BASS_OK : BASS_ERROR_FILEFORM;
}

int decodeSample(const tSource& source, DWORD rate, std::vector<int16_t>& pcm)
{
    int error = BASS_OK;
    if (auto sound = cSoundDecoder::open(source.data, source.size, rate, error)) {
        return decodeAll([&](int16_t* out, DWORD n) { return sound->read(out, n, false); }, pcm);
    }
    if (auto module = cModuleDecoder::open(source.data, source.size, rate, error)) {
        module->setEnd(eModuleEnd::kFirstRepeat); // once, even a tune made to loop
        return decodeAll([&](int16_t* out, DWORD n) { return module->read(out, n); }, pcm);
    }
    return error;
}

// All playbacks of one sample, summed as one channel. The voices are the
// positions of the playbacks in the order they started; the oldest is the
// first cut when `max` are sounding. Positions and seeks apply to the
// newest, the one BASS_SamplePlay started last.
class cSampleChannel : public cChannel {
public:
    cSampleChannel(std::vector<int16_t> pcm, DWORD maxVoices, bool loop)
        : pcm_(std::move(pcm)),
          frames_(pcm_.size() / 2),
          maxVoices_(maxVoices),
          loop_(loop),
          voices_(maxVoices),
          sum_(size_t(cMixer::kBlockFrames) * 2)
    {
    }

    // Adds a playback from the first frame, cutting the oldest when full.
    void start()
    {
        if (count_ == maxVoices_) {
            first_ = (first_ + 1) % maxVoices_;
            --count_;
        }
        voices_[(first_ + count_) % maxVoices_] = 0;
        ++count_;
    }

    DWORD render(int16_t* out, DWORD frames) override
    {
        frames = std::min(frames, cMixer::kBlockFrames);
        std::fill(sum_.begin(), sum_.begin() + size_t(frames) * 2, 0);
        DWORD longest = 0;
        for (DWORD v = 0; v < count_; ++v) {
            size_t& at = voices_[(first_ + v) % maxVoices_];
            DWORD n = 0;
            for (; n < frames; ++n) {
                if (at >= frames_) {
                    if (!loop_) {
                        break;
                    }
                    at = 0;
                }
                sum_[2 * n] += pcm_[2 * at];
                sum_[2 * n + 1] += pcm_[2 * at + 1];
                ++at;
            }
            longest = std::max(longest, n);
        }
        // Drop the playbacks that have ended, keeping the order of the rest
        // (after a seek a newer one may end before an older one).
        DWORD kept = 0;
        for (DWORD v = 0; v < count_; ++v) {
            const size_t at = voices_[(first_ + v) % maxVoices_];
            if (loop_ || at < frames_) {
                voices_[(first_ + kept++) % maxVoices_] = at;
            }
        }
        count_ = kept;
        for (size_t i = 0; i < size_t(longest) * 2; ++i) {
            out[i] = int16_t(std::clamp<int32_t>(sum_[i], -32768, 32767));
        }
        return longest;
    }

    bool rewind() override { return true; } // a new playback starts from the beginning anyway

    int seek(uint64_t& frame) override
    {
        if (count_ == 0) {
            return BASS_ERROR_NOTAVAIL; // no playback to move
        }
        if (frame > frames_) {
            return BASS_ERROR_POSITION;
        }
        voices_[(first_ + count_ - 1) % maxVoices_] = size_t(frame);
        return BASS_OK;
    }

    bool lengthFrames(uint64_t& frames) const override
    {
        frames = frames_;
        return true;
    }

    // The newest playback's place in the sample; 0 when none sounds.
    uint64_t playPosition() const override
    {
        if (count_ == 0) {
            return 0;
        }
        const size_t at = voices_[(first_ + count_ - 1) % maxVoices_];
        return loop_ && at >= frames_ ? 0 : at;
    }

    tShape shape() const override
    {
        tShape s;
        s.known = true;
        s.length = frames_;
        s.repeats = loop_;
        s.voices = maxVoices_;
        return s;
    }

    std::vector<uint64_t> voicePositions() const override
    {
        std::vector<uint64_t> at;
        for (DWORD v = 0; v < count_; ++v) {
            at.push_back(voices_[(first_ + v) % maxVoices_]);
        }
        return at;
    }

    // The newest `maxVoices_` of them, at most.
    void setVoices(const std::vector<uint64_t>& frames) override
    {
        const size_t skip = frames.size() > maxVoices_ ? frames.size() - maxVoices_ : 0;
        first_ = 0;
        count_ = 0;
        for (size_t i = skip; i < frames.size(); ++i) {
            voices_[count_++] = size_t(std::min<uint64_t>(frames[i], frames_));
        }
    }

    void release() override
    {
        count_ = 0;
        pcm_.clear();
        pcm_.shrink_to_fit();
        frames_ = 0;
    }

private:
    std::vector<int16_t> pcm_; // stereo at the output rate
    size_t frames_;
    const DWORD maxVoices_;
    const bool loop_;
    std::vector<size_t> voices_; // a ring of maxVoices_ positions
    DWORD first_ = 0;
    DWORD count_ = 0;
    std::vector<int32_t> sum_;
};

} // namespace

} // namespace kxaudio

using namespace kxaudio;

extern "C" KXAUDIO_API HSAMPLE BASS_SampleLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD max,
                                               DWORD flags)
{
    return loadChannel(mem, file, offset, length, [max, flags](tSource& source, int& error) {
        std::shared_ptr<cChannel> sample;
        std::vector<int16_t> pcm;
        error = max < 1 || max > kMaxVoices ? BASS_ERROR_ILLPARAM : decodeSample(source, mixer().rate(), pcm);
        if (error == BASS_OK) {
            sample = std::make_shared<cSampleChannel>(std::move(pcm), max, (flags & BASS_SAMPLE_LOOP) != 0);
        }
        return sample;
    });
}

extern "C" KXAUDIO_API HCHANNEL BASS_SamplePlay(HSAMPLE handle)
{
    const BOOL ok = withChannel<cSampleChannel>(handle, [](cSampleChannel& sample) {
        return cued(sample, eCue::voice, [&sample] {
            sample.start();
            sample.ended = false;
            sample.playing = true;
            return BASS_OK;
        });
    });
    return ok ? handle : 0;
}

extern "C" KXAUDIO_API BOOL BASS_SampleFree(HSAMPLE handle) { return freeChannelOfKind<cSampleChannel>(handle); }
