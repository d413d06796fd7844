// <midifile filename="sync.mid"/>: a standard MIDI file played as part of
// the show. When the command runs at show time T, the file's notes and
// controller changes go through the show's <midi> map (so the <midi>
// elements come before it) and become cues at T plus their time in the
// file: timed events of the show, which fire frame-exactly in capture mode
// and run again as the show's own events do when it is scrubbed or rebuilt.
// A mapped note presses its key as an event's trigger does; a mapped
// controller change runs <EFFECT ATTRIBUTE="VALUE"/>.
#pragma once

#include "player/controllers/controller_input.h"

#include <cstddef>
#include <string>
#include <vector>

class cDemo;
class cXmlTag;

namespace controllers {

class cMidiMap;
struct sMidiFile;

struct sMidiCue {
    double seconds = 0.0; // from the start of the file
    std::vector<sAction> actions; // one press, or the attribute changes of one controller change
};

struct sMidiCueCount {
    size_t notes = 0;       // note-ons that pressed a key
    size_t controllers = 0; // controller changes that set an attribute
    size_t merged = 0;      // controller changes folded into a later one of the same controller
    size_t unmapped = 0;    // note-ons and controller changes the map has nothing for
};

// Controller changes of one controller (channel and number) closer than
// this to the first of a run are folded into one change at the last one's
// time with the last one's value: a sweep costs the show at most a hundred
// events a second, and ends where the file ends it.
constexpr double kControllerSpacing = 0.01;

// The cues a file's messages make through the map, in time order.
std::vector<sMidiCue> cuesOf(const sMidiFile& file, const cMidiMap& map, sMidiCueCount& count);

// Where a <midifile> looks for its file, in this order: data/music/NAME,
// then data/NAME.
std::vector<std::string> midiFilePlaces(const char* name);

// Runs a <midifile> element for the demo.
void midiFileCommand(cDemo& demo, cXmlTag* element);

} // namespace controllers
