// clock="music": the show clock follows the playing music instead of the
// frame timer, so picture and sound stay together when frames are late.
//
// The music is linked to the show by an offset: its position p plays at
// show time offset + p. The link is made, without moving the clock, in the
// first frame that finds music playing (offset = clock - p), and dropped
// whenever no music plays (paused, ended, freed): the clock then runs on
// the frame timer from where it is, and the next music to play links
// anew. While linked, each frame the clock is put at offset + p
// (cTimeline::follow), never back before the frame's start. The mixer moves
// p a block at a time; between blocks p is carried on by the wall clock
// for up to kMaxLead, so the picture moves smoothly and waits for music
// that stalls.
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
    // Before a frame's events: the first frame at normal speed after a
    // scrub puts the music at the clock's place and sounds again.
    void beginFrame(const cTimeline& timeline);
    // After an event's fragment ran; `before` is the music that played
    // before it (KXAUDIO_PlayingMusic).
    void eventRan(const cTimeline& timeline, const cEvent& event, uint32_t before);
    // After the timeline took the frame's step: links, follows or
    // silences. Returns the step the frame takes (units of 10 ms).
    float endFrame(cTimeline& timeline, float step);
    // The clock follows the frames again: sound on if a scrub halted it.
    void release();

    // How far past the last position the mixer reported the music is
    // taken to have played: more than one of its blocks.
    static constexpr double kMaxLead = 0.05;

    uint32_t channel = 0; // the linked music, 0 when none
    double offset = 0;    // show time at which the linked music's position 0 plays
    bool muted = false;   // the mixer is halted for a scrub

private:
    void link(uint32_t music, double showTime, double at);
    // The linked music's position in seconds, carried on between blocks;
    // false (and unlinked) when the channel is gone.
    bool position(double& seconds);

    double lastSeconds = 0; // the position the mixer last reported
    double lastChange = 0;  // when it was first seen (preciseMilliseconds)
};
