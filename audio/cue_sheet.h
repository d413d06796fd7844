// The sound of a show as one model: every play and pause call made on a
// channel, stamped with the show time it belongs to, and, from those, where
// each channel should stand at any show time. A looping tune stands at its
// place in the loop, a tune that ended stays ended, a sample playback that
// finished does not start again, and a tune whose play lies after that time
// waits for it at its start.
//
// The player says which show time the calls belong to (KXAUDIO_SetCue) and
// asks the engine to put every channel where the model has it after it
// rebuilt or scrubbed the show (KXAUDIO_PlaceChannels); it never replays
// play calls to get there. Plain data and functions; the engine guards it.
#pragma once

#include <cstdint>
#include <vector>

namespace kxaudio {

enum class eCue : uint8_t {
    play,    // plays on from where it is; from the start once it has ended
    restart, // plays from the start
    pause,   // holds where it is
    voice,   // a sample: one more playback from its start
};

struct tCue {
    double time = 0; // show time, seconds
    uint32_t channel = 0;
    eCue what = eCue::play;
    uint64_t source = 0; // the script fragment that made it; 0 for a performer's key
};

// What a channel plays, in frames at the output rate.
struct tShape {
    bool known = false;     // the length is known
    uint64_t length = 0;    // one pass
    bool repeats = false;   // plays on after its length...
    uint64_t loopStart = 0; // ...from here
    uint32_t voices = 0;    // a sample: at most this many playbacks at once; 0 for music and streams
};

// Where a channel stands at a show time.
struct tPlace {
    bool playing = false;
    bool ended = false;           // played to its end; a play starts it again
    uint64_t frame = 0;           // music and streams: the frame of the file playing next
    std::vector<uint64_t> voices; // samples: each playback's frame, oldest first
    double lastStart = -1;        // show time of the latest play, restart or voice cue (-1: none)
};

// The frame of the file that plays after `played` frames of play time from
// its start: beyond one pass, a tune that repeats goes round its loop.
uint64_t placeInFile(const tShape& shape, uint64_t played);

// Where a channel with these cues (in the order they were made) stands at
// show time `t`; cues after `t` are not yet made. `rate` converts seconds.
tPlace placeAt(const std::vector<tCue>& cues, const tShape& shape, double t, uint32_t rate);

class cCueSheet {
public:
    // The show time the calls made from now on belong to, the fragment that
    // makes them (0: a performer) and whether they are only written down
    // (`rehearse`: the show is brought to its time and the sound is placed
    // afterwards). A fragment run again forgets the cues it made before.
    void setContext(double time, uint64_t source, bool rehearse);
    bool rehearsing() const { return rehearse_; }

    // Writes a call down; false when it is to be written down only.
    bool record(uint32_t channel, eCue what);
    // Forgets every cue after `time`, and with `scripted` every cue a script
    // fragment made.
    void forget(double time, bool scripted);
    // A channel freed: its cues go with it.
    void forgetChannel(uint32_t channel);
    void clear();

    // The channels that have been cued since they were loaded (even when
    // their cues were forgotten since: they then wait for their play).
    std::vector<uint32_t> channels() const { return cued_; }
    std::vector<tCue> cuesOf(uint32_t channel) const;

private:
    std::vector<tCue> cues_;
    std::vector<uint32_t> cued_;
    double time_ = 0;
    uint64_t source_ = 0;
    bool rehearse_ = false;
};

} // namespace kxaudio
