// The show's timeline: its timed and keyed events, the show clock and the
// speed factor, and the rules that fire events as the clock passes them:
// once each, in time order, while the show plays forward; every event up
// to the clock again while it is scrubbed. Plain data and functions: the
// demo owns one and runs the fragments through the callback it passes in,
// so the firing rules hold without a window, effects or a log to read.
#pragma once

#include "player/event.h"

#include <functional>
#include <vector>

class cXmlTag;

class cTimeline {
public:
    enum : int { kMaxEvents = 4096 };

    // Runs one event's fragment. again is true when the fragment ran before
    // and the clock runs it again because the show was scrubbed.
    using Runner = std::function<void(cEvent& event, bool again)>;

    cTimeline() = default;
    ~cTimeline();
    cTimeline(const cTimeline&) = delete;
    cTimeline& operator=(const cTimeline&) = delete;

    // Appends the event an event tag declares, unsorted. Returns it, or
    // null when the array is full (logged) or when rerunning and this tag
    // declared an event already (a fragment run again declares once).
    cEvent* declare(cXmlTag* tag, bool rerunning = false);
    // Declares a cue: a timed event that fires at its time wherever it was
    // declared from (a MIDI file's notes and controller changes). An event
    // a fragment declares waits behind the events declared before it; a cue
    // takes its place in time order among the events still to fire, as
    // soon as the walk under way allows (after the event being run), and
    // one whose time has passed fires at once. Null when the show is full,
    // or when rerunning and this tag declared a cue already.
    cEvent* declareCue(cXmlTag* tag, bool rerunning = false);
    // How many more events, cues included, the show can hold.
    int room() const { return kMaxEvents - eventCount - static_cast<int>(cues_.size()); }
    // The timed event the clock is running, or null: its time is the show
    // time of the commands it runs, whichever frame runs them.
    const cEvent* running() const { return running_; }
    // Sorts the events by time, keeping declaration order for equal
    // times, so key events (time -10) come first; logs every event.
    void sort();
    // Deletes every event and cue; the clock keeps its place.
    void clear();

    // Fires, in order, the timed events at and after nextEvent that are
    // due at frameTime, each once.
    void fireDue(const Runner& run);
    // Runs every timed event with a time from 0 to upTo again, from the
    // first; nextEvent is then the last one run, so the next forward frame
    // fires it once more. Marks the show as scrubbed.
    void replay(float upTo, const Runner& run);

    // Moves the rest of the show (cameras, effects) on by a step, in units
    // of 10 ms, to the given show time.
    using Passer = std::function<void(float step, float time)>;
    // A show rebuilt from a new script catches up with its clock: the timed
    // events the forward path would have fired by upTo run once, in order
    // (up to the first event not yet due: one a fragment declared later
    // waits behind it), and between them the show moves on by the time that
    // passed, in one step each, so it stands where it would have after
    // playing to upTo. Then nextEvent is the first event not run. The show
    // is not marked scrubbed: these are first runs.
    void catchUp(float upTo, const Runner& run, const Passer& pass);

    struct sAdvance {
        float step;          // the frame step times the speed
        bool rewoundToStart; // the clock ran below 0 and was stopped there
    };
    // One frame: fires the due events, moves the clock by step x speed x
    // 0.01 s and, off normal speed, replays every event up to the new
    // clock (stopping it at 0 when rewinding past the start).
    sAdvance advance(float step, const Runner& run);

    // The music clock's share of one frame: puts the clock, just advanced
    // by the frame step, at `target`, the show time at which the music's
    // present position plays, but never back before frameTime (the music
    // stalled: the show waits for it). Returns the step, in units of 10 ms,
    // that the frame then takes.
    float follow(double target);

    cEvent* events[kMaxEvents] = {};
    int eventCount = 0;
    int nextEvent = 0;
    // Set by the first replay. From then on a fragment that ran before runs
    // as a rerun (the Runner's again).
    bool scrubbed = false;

    // What the clock follows: the frame timer (each frame adds its step), or
    // the position of the playing music.
    enum class eSource { frames, music };
    eSource source = eSource::frames;

    float clock = 0.0f;     // show time in seconds
    float frameTime = 0.0f; // the clock at the start of the current frame
    float speed = 1.0f;     // 1 plays; the vhs buttons set +-100
    // Capture mode's frames per second, 0 otherwise. advance then puts the
    // clock on a frame's start, k / fps exactly: a sum of float steps falls
    // behind (0.49999997 after five steps of 0.1 s) and would fire an event
    // at a frame's start one frame late, and drift from the captured sound.
    int frameRate = 0;

private:
    void fire(cEvent& event, const Runner& run);
    // Merges the cues declared since the last call into the events from
    // index `from` on, in time order.
    void placeCues(int from);
    std::vector<cEvent*> cues_;
    const cEvent* running_ = nullptr;
};
