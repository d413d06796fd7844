#include "channel_data.h"

#include "channel.h"
#include "engine.h"
#include "errors.h"
#include "handles.h"
#include "spectrum.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kxaudio {

void cChannelData::append(const int16_t* samples, DWORD frames)
{
    if (frames > kFrames) {
        samples += size_t(frames - kFrames) * 2;
        frames = kFrames;
    }
    const DWORD first = std::min(frames, kFrames - head_);
    std::memcpy(&ring_[size_t(head_) * 2], samples, size_t(first) * 4);
    std::memcpy(&ring_[0], samples + size_t(first) * 2, size_t(frames - first) * 4);
    head_ = (head_ + frames) % kFrames;
}

void cChannelData::clear()
{
    std::fill(ring_.begin(), ring_.end(), int16_t(0));
    head_ = 0;
}

DWORD cChannelData::copyLatest(void* out, DWORD bytes) const
{
    const DWORD frames = std::min(bytes, kBytes) / 4;
    const DWORD start = (head_ + kFrames - frames) % kFrames;
    const DWORD first = std::min(frames, kFrames - start);
    auto* dest = static_cast<unsigned char*>(out);
    std::memcpy(dest, &ring_[size_t(start) * 2], size_t(first) * 4);
    std::memcpy(dest + size_t(first) * 4, &ring_[0], size_t(frames - first) * 4);
    return frames * 4;
}

namespace {

static_assert(KXAUDIO_MIX == kReservedHandle, "the mix's handle is one no channel gets");

// What BASS_ChannelGetData's `length` asks for.
struct tDataRequest {
    enum eKind { kAvailable, kSamples, kFloats, kSpectrum } kind = kSamples;
    DWORD frames = 0;  // of the latest output to copy
    unsigned bits = 0; // kSpectrum: log2 of its size
};

// Reads `length`; false for flags this engine does not know.
bool readRequest(DWORD length, tDataRequest& request)
{
    constexpr DWORD kFft = 0x80000000u;
    if (length & kFft) {
        // FFT data is floats anyway, so BASS_DATA_FLOAT changes nothing.
        const DWORD size = length & ~(kFft | DWORD(BASS_DATA_FLOAT));
        if (size > kMaxSpectrumBits - kMinSpectrumBits) {
            return false;
        }
        request.kind = tDataRequest::kSpectrum;
        request.bits = kMinSpectrumBits + unsigned(size);
        request.frames = DWORD(1) << request.bits;
    } else if (length & BASS_DATA_FLOAT) {
        const DWORD bytes = length & ~DWORD(BASS_DATA_FLOAT);
        request.kind = bytes == 0 ? tDataRequest::kAvailable : tDataRequest::kFloats;
        request.frames = std::min(bytes / 8, cChannelData::kFrames);
    } else {
        request.kind = length == BASS_DATA_AVAILABLE ? tDataRequest::kAvailable : tDataRequest::kSamples;
        request.frames = std::min(length, cChannelData::kBytes) / 4;
    }
    return true;
}

// Copies the latest `bytes` bytes of a channel's output, or of the mix's
// for KXAUDIO_MIX, into `out` (with null, only checks the handle). Sets the
// error code: BASS_ERROR_HANDLE, BASS_ERROR_INIT for the mix outside a
// session.
bool copyLatest(DWORD handle, void* out, DWORD bytes)
{
    if (handle != KXAUDIO_MIX) {
        return withChannel<cChannel>(handle, [&](cChannel& channel) -> int {
            if (out) {
                channel.data.copyLatest(out, bytes);
            }
            return BASS_OK;
        });
    }
    if (!initialised()) {
        return fail(BASS_ERROR_INIT);
    }
    if (out) {
        mixer().copyMixData(out, bytes);
    }
    return succeed();
}

} // namespace

} // namespace kxaudio

using namespace kxaudio;

extern "C" KXAUDIO_API DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length)
{
    tDataRequest request;
    if (!readRequest(length, request) || (!buffer && request.kind != tDataRequest::kAvailable)) {
        setError(BASS_ERROR_ILLPARAM);
        return DWORD(-1);
    }
    return guarded(DWORD(-1), [&]() -> DWORD {
        switch (request.kind) {
        case tDataRequest::kAvailable: {
            // Everything kept counts: before a channel plays it is silence.
            const DWORD bytes = (length & BASS_DATA_FLOAT) ? cChannelData::kFrames * 8 : cChannelData::kBytes;
            return copyLatest(handle, nullptr, 0) ? bytes : DWORD(-1);
        }
        case tDataRequest::kSamples:
            // Straight into the caller's buffer, as 16-bit stereo.
            return copyLatest(handle, buffer, request.frames * 4) ? request.frames * 4 : DWORD(-1);
        case tDataRequest::kFloats: {
            std::vector<int16_t> samples(size_t(request.frames) * 2);
            if (!copyLatest(handle, samples.data(), request.frames * 4)) {
                return DWORD(-1);
            }
            auto* out = static_cast<float*>(buffer);
            for (size_t i = 0; i < samples.size(); ++i) {
                out[i] = float(samples[i]) * (1.0f / 32768.0f);
            }
            return request.frames * 8;
        }
        case tDataRequest::kSpectrum: {
            // Copied under the lock, transformed after, so that the mixer
            // never waits for the FFT.
            std::vector<int16_t> samples(size_t(request.frames) * 2);
            if (!copyLatest(handle, samples.data(), request.frames * 4)) {
                return DWORD(-1);
            }
            magnitudeSpectrum(samples.data(), request.bits, static_cast<float*>(buffer));
            return request.frames * 4;
        }
        }
        return DWORD(-1);
    });
}
