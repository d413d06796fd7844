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
// Where the sound stands after a scrub or a rebuilt show is not left to the
// replayed events: their play and pause calls are only written on the audio
// engine's cue sheet (KXAUDIO_SetCue, rehearsing), and the engine puts every
// channel where those calls have it at the show time (KXAUDIO_PlaceChannels):
// a looping tune round its loop, an ended tune ended, a tune whose play lies
// later waiting at its start. Scrubbing (speed other than 1) halts the mixer,
// with either clock, so the show is silent while it rewinds or
// fast-forwards; the first frame at normal speed places the sound at the
// clock and starts the mixer again. With clock="music" the clock then
// follows the newest music that plays.
//
// When the sound device is lost (KXAUDIO_DeviceLost) nothing is heard any
// more: the clock runs on the frame timer from there to the show's end.
//
// Capture mode does not use any of this: its frame clock and the offline
// mix advance together by construction, frame-exact.
#pragma once

#include <cstdint>

class cTimeline;

class cMusicClock {
public:
    // Before a frame's events, with either clock: a frame off normal speed
    // silences the sound (beginReplay); the first one at normal speed after
    // that places the sound at the clock and sounds again.
    void beginFrame(const cTimeline& timeline);
    // Halts the mixer while the show is brought to its clock by replaying
    // its events (a scrub, or a rebuilt show with clock="music"): the play
    // calls they make are rehearsed, and the next frame places the sound.
    void beginReplay();
    // After the timeline took the frame's step: links or follows, unless
    // silenced. Returns the step the frame takes (units of 10 ms).
    float endFrame(cTimeline& timeline, float step);
    // The clock follows the frames again.
    void release() { channel = 0; }

    uint32_t channel = 0; // the linked music, 0 when none
    double offset = 0;    // show time at which the linked music's position 0 plays
    bool muted = false;   // the mixer is halted for a replay: play calls are rehearsed

private:
    void link(uint32_t music, double showTime, double at);
    // How much of the linked music has been heard, in seconds; false (and
    // unlinked) when the channel is gone.
    bool position(const cTimeline& timeline, double& seconds);

    double lastSeconds = 0;     // the position the mixer last reported
    double previousSeconds = 0; // the one before: the start of the last block
    double lastChange = 0;      // when lastSeconds was first seen (preciseMilliseconds)
};
