// clock="music": the show clock follows the playing music instead of the
// frame timer, so picture and sound stay together when frames are late.
//
// The music is linked to the show by an offset: its position p plays at
// show time offset + p. The link is made, without moving the clock, in the
// first frame that finds music playing (offset = clock - p), and dropped
// whenever no music plays (paused, ended, freed): the clock then runs on
// the frame timer from where it is, and the next music to play links
// anew, as does music that goes back (started again from its beginning).
// While linked, each frame the clock is put at offset + h (cTimeline::follow),
// where h is the part of the music heard: the mixer moves p a block at a
// time, ahead of what is heard, so h is the start of the block last mixed
// plus the wall-clock time since it was mixed, up to that block's end. h
// never goes back, so neither does the clock; it waits for music that
// stalls.
//
// When the sound device is lost (KXAUDIO_DeviceLost) nothing is heard any
// more: the clock runs on the frame timer from there to the show's end.
//
// Scrubbing (speed other than 1) halts the mixer, so the show is silent
// while it rewinds or fast-forwards. Music started by a replayed event is
// linked at that event's time. The first frame at normal speed seeks the
// linked music to the clock's place and starts the mixer again; a clock
// before the music's start rewinds it to its beginning and pauses it,
// until its event plays it again.
//
// Capture mode does not use any of this: its frame clock and the offline
// mix advance together by construction, frame-exact.
#pragma once

#include <cstdint>

class cTimeline;
struct cEvent;

class cMusicClock {
public:
    // Before a frame's events: a frame off normal speed silences the
    // music (beginReplay); the first one at normal speed after that puts
    // the music at the clock's place and sounds again.
    void beginFrame(const cTimeline& timeline);
    // Halts the mixer for a replay. A show rebuilt and brought to its
    // clock by replaying its events (cTimeline::replay) calls it first:
    // music that the replayed events start is linked at their times, and
    // the next frame plays it from the clock's place.
    void beginReplay();
    // After an event's fragment ran; `before` is the music that played
    // before it (KXAUDIO_PlayingMusic). While silenced, music the fragment
    // started is linked at the event's time.
    void eventRan(const cEvent& event, uint32_t before);
    // After the timeline took the frame's step: links or follows, unless
    // silenced. Returns the step the frame takes (units of 10 ms).
    float endFrame(cTimeline& timeline, float step);
    // The clock follows the frames again: sound on if a scrub halted it.
    void release();

    uint32_t channel = 0; // the linked music, 0 when none
    double offset = 0;    // show time at which the linked music's position 0 plays
    bool muted = false;   // the mixer is halted for a scrub

private:
    void link(uint32_t music, double showTime, double at);
    // How much of the linked music has been heard, in seconds; false (and
    // unlinked) when the channel is gone.
    bool position(const cTimeline& timeline, double& seconds);

    double lastSeconds = 0;     // the position the mixer last reported
    double previousSeconds = 0; // the one before: the start of the last block
    double lastChange = 0;      // when lastSeconds was first seen (preciseMilliseconds)
};
