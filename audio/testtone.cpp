#include "testtone.h"

#include "engine.h"
#include "errors.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace kxaudio {

namespace {

constexpr double kPi = 3.14159265358979323846;

class cToneChannel : public cChannel {
public:
    cToneChannel(double freq, int amplitude, DWORD rate)
        : freq_(freq), amplitude_(std::clamp(amplitude, 0, 32767)), rate_(double(rate)) {}

    DWORD render(int16_t* out, DWORD frames) override {
        for (DWORD i = 0; i < frames; ++i) {
            // From the absolute frame number, so the phase never drifts.
            const double n = double(position + i);
            const double value = double(amplitude_) * std::sin(2.0 * kPi * freq_ * n / rate_);
            const auto sample = int16_t(std::lround(value));
            out[2 * i] = sample;
            out[2 * i + 1] = sample;
        }
        return frames;
    }

private:
    const double freq_;
    const int amplitude_;
    const double rate_;
};

}  // namespace

}  // namespace kxaudio

using namespace kxaudio;

extern "C" KXAUDIO_API DWORD KXAUDIO_TestToneCreate(double freq, int amplitude) {
    if (!initialised()) {
        setError(BASS_ERROR_INIT);
        return 0;
    }
    if (!std::isfinite(freq)) {
        setError(BASS_ERROR_ILLPARAM);
        return 0;
    }
    try {
        auto tone = std::make_shared<cToneChannel>(freq, amplitude, mixer().rate());
        tone->playing = true;  // not yet shared with the mixing thread
        int error = BASS_OK;
        const DWORD handle = registerChannel(std::move(tone), error);
        setError(error);
        return handle;
    } catch (const std::bad_alloc&) {
        setError(BASS_ERROR_MEM);
        return 0;
    }
}

extern "C" KXAUDIO_API BOOL KXAUDIO_ChannelFree(DWORD handle) {
    return mixer().freeChannel(handle) ? succeed() : fail(BASS_ERROR_HANDLE);
}

extern "C" KXAUDIO_API BOOL KXAUDIO_ChannelSetPlaying(DWORD handle, BOOL playing) {
    std::shared_ptr<cChannel> channel = mixer().channel(handle);
    if (!channel) {
        return fail(BASS_ERROR_HANDLE);
    }
    std::lock_guard<std::recursive_mutex> guard(channel->lock);
    if (channel->released) {
        return fail(BASS_ERROR_HANDLE);
    }
    channel->playing = playing != FALSE;
    return succeed();
}

extern "C" KXAUDIO_API unsigned long long KXAUDIO_ChannelPosition(DWORD handle) {
    std::shared_ptr<cChannel> channel = mixer().channel(handle);
    if (!channel) {
        setError(BASS_ERROR_HANDLE);
        return ~0ull;
    }
    std::lock_guard<std::recursive_mutex> guard(channel->lock);
    setError(BASS_OK);
    return channel->position;
}

extern "C" KXAUDIO_API unsigned long long KXAUDIO_MixedFrames(void) {
    return mixer().mixedFrames();
}
