// Channel positions and lengths: BASS_ChannelGetPosition,
// BASS_ChannelSetPosition, BASS_ChannelGetLength, the conversions between
// bytes and seconds, and KXAUDIO_PlayingMusic.
//
// Every channel plays at the output rate in 16-bit stereo, so a byte
// position is a frame number times 4 whatever the file's own format. Seeks
// take the channel's lock, which the mixing thread holds while it renders
// the channel: a seek lands between two blocks, never inside one.

#include "channel.h"
#include "module_decoder.h"

#include <cmath>

namespace kxaudio {

namespace {

constexpr QWORD kNoPosition = ~QWORD(0);
constexpr QWORD kBytesPerFrame = 4;

} // namespace

} // namespace kxaudio

using namespace kxaudio;

extern "C" KXAUDIO_API QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode)
{
    QWORD result = kNoPosition;
    withChannel<cChannel>(handle, [&](cChannel& channel) -> int {
        if (mode == BASS_POS_BYTE) {
            result = channel.playPosition() * kBytesPerFrame;
            return BASS_OK;
        }
        if (mode != BASS_POS_MUSIC_ORDER) {
            return BASS_ERROR_ILLPARAM;
        }
        const cModuleDecoder* module = channel.module();
        if (!module) {
            return BASS_ERROR_NOTAVAIL;
        }
        int32_t order = 0;
        int32_t row = 0;
        module->orderRow(order, row);
        result = (QWORD(row & 0xFFFF) << 16) | QWORD(order & 0xFFFF);
        return BASS_OK;
    });
    return result;
}

extern "C" KXAUDIO_API BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode)
{
    return withChannel<cChannel>(handle, [&](cChannel& channel) -> int {
        uint64_t frame = 0;
        int code = BASS_ERROR_ILLPARAM;
        if (mode == BASS_POS_BYTE) {
            frame = pos / kBytesPerFrame;
            code = channel.seek(frame);
        } else if (mode == BASS_POS_MUSIC_ORDER) {
            cModuleDecoder* module = channel.module();
            if (!module) {
                code = BASS_ERROR_NOTAVAIL;
            } else if (pos > 0xFFFFFFFFu) {
                code = BASS_ERROR_POSITION;
            } else {
                code = module->seekOrderRow(int32_t(pos & 0xFFFF), int32_t(pos >> 16), frame);
            }
        }
        if (code == BASS_OK) {
            // From here the channel plays on from the new place, even after
            // its end: a play call resumes there instead of starting over.
            channel.position = frame;
            channel.ended = false;
        }
        return code;
    });
}

extern "C" KXAUDIO_API QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode)
{
    QWORD result = kNoPosition;
    withChannel<cChannel>(handle, [&](cChannel& channel) -> int {
        if (mode == BASS_POS_BYTE) {
            uint64_t frames = 0;
            if (!channel.lengthFrames(frames)) {
                return BASS_ERROR_NOTAVAIL;
            }
            result = frames * kBytesPerFrame;
            return BASS_OK;
        }
        if (mode != BASS_POS_MUSIC_ORDER) {
            return BASS_ERROR_ILLPARAM;
        }
        const cModuleDecoder* module = channel.module();
        if (!module) {
            return BASS_ERROR_NOTAVAIL;
        }
        result = QWORD(module->orderCount());
        return BASS_OK;
    });
    return result;
}

extern "C" KXAUDIO_API double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos)
{
    double seconds = -1.0;
    withChannel<cChannel>(handle, [&](cChannel&) -> int {
        seconds = double(pos) / (double(kBytesPerFrame) * double(mixer().rate()));
        return BASS_OK;
    });
    return seconds;
}

extern "C" KXAUDIO_API QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos)
{
    // Far beyond any length (about 6600 years at 192 kHz): the frame count
    // and its bytes stay exact in a double and a QWORD.
    constexpr double kMaxFrames = 4e16;
    QWORD bytes = kNoPosition;
    withChannel<cChannel>(handle, [&](cChannel&) -> int {
        const double frames = pos * double(mixer().rate());
        if (!std::isfinite(pos) || pos < 0 || !(frames < kMaxFrames)) {
            return BASS_ERROR_ILLPARAM;
        }
        // Whole frames, rounded down; the nudge keeps a time computed from a
        // frame count (BASS_ChannelBytes2Seconds) on that frame.
        bytes = QWORD(std::floor(frames + 1e-6)) * kBytesPerFrame;
        return BASS_OK;
    });
    return bytes;
}

extern "C" KXAUDIO_API DWORD KXAUDIO_PlayingMusic(void)
{
    return guarded(DWORD(0), []() -> DWORD {
        if (!initialised()) {
            setError(BASS_ERROR_INIT);
            return 0;
        }
        DWORD newest = 0;
        uint64_t newestStart = 0;
        for (const auto& channel : mixer().channels()) {
            std::lock_guard<std::recursive_mutex> guard(channel->lock);
            if (channel->isMusic() && channel->playing && !channel->released &&
                (newest == 0 || channel->started > newestStart)) {
                newest = channel->handle;
                newestStart = channel->started;
            }
        }
        setError(BASS_OK);
        return newest;
    });
}
