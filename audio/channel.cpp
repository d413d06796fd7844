// Calls that apply to every kind of channel.

#include "channel.h"

#include <algorithm>
#include <atomic>

namespace kxaudio {

namespace {
std::atomic<uint64_t> lastStart{0};
} // namespace

int playChannel(cChannel& channel, bool restart)
{
    if (restart || channel.ended) {
        if (!channel.rewind()) {
            return BASS_ERROR_UNKNOWN;
        }
        channel.position = 0;
        channel.ended = false;
    }
    channel.playing = true;
    channel.started = nextStart();
    return BASS_OK;
}

uint64_t nextStart() { return lastStart.fetch_add(1) + 1; }

} // namespace kxaudio

using namespace kxaudio;

extern "C" KXAUDIO_API BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value)
{
    if (attrib != BASS_ATTRIB_VOL || !(value == value)) {
        return fail(BASS_ERROR_ILLPARAM);
    }
    const float volume = std::clamp(value, 0.0f, 1.0f);
    return withChannel<cChannel>(handle, [volume](cChannel& channel) -> int {
        channel.volume = volume;
        return BASS_OK;
    });
}

extern "C" KXAUDIO_API BOOL BASS_ChannelPause(DWORD handle)
{
    return withChannel<cChannel>(handle, [](cChannel& channel) -> int {
        return cued(channel, eCue::pause, [&channel] {
            channel.playing = false;
            return BASS_OK;
        });
    });
}
