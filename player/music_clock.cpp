#include "player/music_clock.h"

#include "audio/bass.h"
#include "platform/clock.h"
#include "player/timeline.h"

namespace {

constexpr QWORD kNoPosition = ~QWORD(0);

double secondsAt(uint32_t channel)
{
    const QWORD bytes = BASS_ChannelGetPosition(channel, BASS_POS_BYTE);
    return bytes == kNoPosition ? -1.0 : BASS_ChannelBytes2Seconds(channel, bytes);
}

} // namespace

void cMusicClock::link(uint32_t music, double showTime, double at)
{
    channel = music;
    offset = showTime - at;
    lastSeconds = previousSeconds = at;
    lastChange = platform::preciseMilliseconds();
}

bool cMusicClock::position(const cTimeline& timeline, double& seconds)
{
    const double at = channel ? secondsAt(channel) : -1.0;
    if (at < 0) {
        channel = 0;
        return false;
    }
    const double now = platform::preciseMilliseconds();
    if (at < lastSeconds) {
        // Started again from its beginning, or moved back by someone
        // else: the show goes on from where it is.
        link(channel, timeline.clock, at);
    } else if (at != lastSeconds) {
        previousSeconds = lastSeconds;
        lastSeconds = at;
        lastChange = now;
    }
    // The mixer renders the music a block at a time, before it is heard:
    // when the position moves on, the block just mixed starts to play, and
    // it plays for as long as the wall clock says, up to its end.
    const double heard = (now - lastChange) * 0.001;
    const double block = lastSeconds - previousSeconds;
    seconds = previousSeconds + (heard < 0 ? 0 : heard < block ? heard : block);
    return true;
}

void cMusicClock::beginReplay()
{
    if (!muted) BASS_Stop();
    muted = true;
}

void cMusicClock::beginFrame(const cTimeline& timeline)
{
    if (timeline.speed != 1.0f) {
        beginReplay();
        return;
    }
    if (!muted) return;
    KXAUDIO_PlaceChannels(double(timeline.frameTime));
    // Linked anew, by continuity, to the music that plays after placing.
    channel = 0;
    BASS_Start();
    muted = false;
}

float cMusicClock::endFrame(cTimeline& timeline, float step)
{
    if (muted) return step;
    if (KXAUDIO_DeviceLost()) {
        // Nothing is heard any more: the frame timer carries the show to
        // its end.
        channel = 0;
        return step;
    }
    const uint32_t playing = KXAUDIO_PlayingMusic();
    if (!playing) {
        channel = 0;
        return step;
    }
    if (playing != channel) {
        const double at = secondsAt(playing);
        if (at >= 0) link(playing, timeline.clock, at);
        return step;
    }
    double at = 0;
    if (!position(timeline, at)) return step;
    return timeline.follow(offset + at);
}
