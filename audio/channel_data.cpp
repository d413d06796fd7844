#include "channel_data.h"

#include "channel.h"
#include "errors.h"

#include <algorithm>
#include <cstring>

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

} // namespace kxaudio

using namespace kxaudio;

extern "C" KXAUDIO_API DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length)
{
    if (!buffer) {
        setError(BASS_ERROR_ILLPARAM);
        return DWORD(-1);
    }
    DWORD copied = DWORD(-1);
    withChannel<cChannel>(handle, [&](cChannel& channel) -> int {
        copied = channel.data.copyLatest(buffer, length);
        return BASS_OK;
    });
    return copied;
}
