#include "testtone.h"

#include "channel.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace kxaudio {

namespace {

constexpr double kPi = 3.14159265358979323846;

class cToneChannel : public cChannel {
public:
    cToneChannel(double freq, int amplitude, DWORD rate)
        : freq_(freq), amplitude_(std::clamp(amplitude, 0, 32767)), rate_(double(rate))
    {
    }

    DWORD render(int16_t* out, DWORD frames) override
    {
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

    // Its frames are computed from `position`, so any place will do.
    int seek(uint64_t&) override { return BASS_OK; }

private:
    const double freq_;
    const int amplitude_;
    const double rate_;
};

} // namespace

} // namespace kxaudio

using namespace kxaudio;

extern "C" KXAUDIO_API DWORD KXAUDIO_TestToneCreate(double freq, int amplitude)
{
    return guarded(DWORD(0), [&]() -> DWORD {
        if (!initialised()) {
            setError(BASS_ERROR_INIT);
            return 0;
        }
        if (!std::isfinite(freq)) {
            setError(BASS_ERROR_ILLPARAM);
            return 0;
        }
        auto tone = std::make_shared<cToneChannel>(freq, amplitude, mixer().rate());
        tone->playing = true; // not yet shared with the mixing thread
        int error = BASS_OK;
        const DWORD handle = registerChannel(std::move(tone), error);
        setError(error);
        return handle;
    });
}

extern "C" KXAUDIO_API BOOL KXAUDIO_ChannelFree(DWORD handle)
{
    return guarded(BOOL(FALSE),
                   [handle]() -> BOOL { return mixer().freeChannel(handle) ? succeed() : fail(BASS_ERROR_HANDLE); });
}

extern "C" KXAUDIO_API BOOL KXAUDIO_ChannelSetPlaying(DWORD handle, BOOL playing)
{
    return withChannel<cChannel>(handle, [playing](cChannel& channel) -> int {
        channel.playing = playing != FALSE;
        return BASS_OK;
    });
}

extern "C" KXAUDIO_API unsigned long long KXAUDIO_ChannelPosition(DWORD handle)
{
    unsigned long long position = ~0ull;
    withChannel<cChannel>(handle, [&](cChannel& channel) -> int {
        position = channel.position;
        return BASS_OK;
    });
    return position;
}

extern "C" KXAUDIO_API unsigned long long KXAUDIO_MixedFrames(void) { return mixer().mixedFrames(); }
