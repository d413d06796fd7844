// MIDI files as timed input: the reader on made files (good and hostile),
// the cues a file makes through the <midi> map, and how the timeline places
// cues declared while the show plays.
#include "common/media/stream.h"
#include "logged_show.h"
#include "midi_builder.h"
#include "player/controllers/midi_file.h"
#include "player/controllers/midi_file_cues.h"
#include "player/controllers/midi_map.h"
#include "player/demo.h"
#include "player/log.h"
#include "player/script_reader.h"
#include "player/timeline.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace kxtest;
using controllers::cMidiFileReader;

// "0.5000 90 3c 64; ..." or "refused: why".
std::string readOut(const std::string& bytes)
{
    controllers::sMidiFile file;
    std::string why;
    if (!cMidiFileReader::read(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), file, why))
        return "refused: " + why;
    std::string out;
    for (const controllers::sMidiFileMessage& m : file.messages) {
        char line[48];
        std::snprintf(line, sizeof line, "%s%.4f %02x %02x %02x", out.empty() ? "" : "; ", m.seconds, m.status, m.data1,
                      m.data2);
        out += line;
    }
    return out;
}

std::unique_ptr<cXmlTag> parsed(const std::string& text)
{
    auto root = std::make_unique<cXmlTag>();
    cMemoryStream source(text.data(), static_cast<int>(text.size()));
    EXPECT_EQ(parse(root.get(), source), 0) << lastError();
    return root;
}

} // namespace

TEST(MidiFile, ReaderCases)
{
    // 96 ticks a quarter note at the default tempo: 1 tick = 1/192 s.
    const MidiTrack runningStatus = MidiTrack()
                                        .note(0, 1, 60, 100)
                                        .raw(0, {0xC0, 5})               // program change, read past
                                        .raw(96, {0x90, 60, 0})          // note-on of velocity 0
                                        .raw(0, {0xF0, 2, 1, 0xF7})      // system exclusive, read past
                                        .raw(0, {0xFF, 0x01, 2, 'h', 'i'}) // text, read past
                                        .raw(48, {61, 90})               // running status after them
                                        .raw(0, {0xE0, 0, 64})           // pitch bend, read past
                                        .raw(0, {1, 2})                  // with running status too
                                        .cc(0, 2, 7, 127)
                                        .end();
    MidiTrack tempoMap; // track 1 of a format 1 file: 0.6 s a beat, from beat 2 on 0.5 s
    tempoMap.tempo(0, 600000).tempo(960, 500000).end();
    MidiTrack notes;
    notes.note(0, 1, 36, 1).note(1920, 10, 38, 127).raw(0, {0xFF, 0x2F, 0}).note(0, 1, 40, 1); // after the end: not read
    MidiTrack sameTick;
    sameTick.cc(1920, 1, 1, 2);
    const std::string bigHeader = midiChunk("MThd", std::string("\0\0\0\1\0\140extra", 11)) +
                                  midiChunk("XTRA", "alien chunk") + midiChunk("MTrk", MidiTrack().note(192, 1, 1, 1).bytes);
    MidiTrack manyEvents;
    for (int i = 0; i <= int(cMidiFileReader::kMaxEvents); ++i) manyEvents.raw(0, {0xFF, 0x01, 0});
    const std::string huge = midiFile(0, 96, {notes}) + std::string(cMidiFileReader::kMaxFileBytes, '\0');

    const struct {
        const char* what;
        std::string file;
        std::string expected;
    } cases[] = {
        {"running status, velocity 0, other messages read past", midiFile(0, 96, {runningStatus}),
         "0.0000 90 3c 64; 0.5000 90 3c 00; 0.7500 90 3d 5a; 0.7500 b1 07 7f"},
        {"tempo change mid-file, format 0", midiFile(0, 480, {MidiTrack().note(0, 1, 1, 1).tempo(960, 300000).note(960, 1, 2, 1)}),
         "0.0000 90 01 01; 1.6000 90 02 01"},
        {"format 1: the first track's tempo map times the others; same tick keeps track order",
         midiFile(1, 480, {tempoMap, notes, sameTick}),
         "0.0000 90 24 01; 2.2000 99 26 7f; 2.2000 b0 01 02"},
        {"SMPTE timing: 25 frames of 40 ticks, tempo ignored",
         midiFile(0, 0xE728, {MidiTrack().tempo(0, 1000000).note(100, 1, 1, 1)}), "0.1000 90 01 01"},
        {"29.97 frames a second", midiFile(0, 0xE301, {MidiTrack().note(30, 1, 1, 1)}), "1.0010 90 01 01"},
        {"a longer header and an alien chunk are read past", bigHeader, "1.0000 90 01 01"},
        {"format 2", midiFile(2, 96, {notes}), "refused: format 2 (independent sequences) is not played, only formats 0 and 1"},
        {"not a MIDI file", "RIFF\0\0\0\0WAVEfmt ", "refused: no MThd header: not a standard MIDI file"},
        {"format 0 with two tracks", midiFile(0, 96, {notes, notes}), "refused: format 0 with 2 tracks (1 expected)"},
        {"too many tracks", midiFile(1, 96, {notes}, 1025), "refused: 1025 tracks (1 to 1024 expected)"},
        {"division 0", midiFile(0, 0, {notes}), "refused: a division of 0 ticks per quarter note"},
        {"SMPTE of 23 frames", midiFile(0, 0xE901, {notes}), "refused: SMPTE timing of 23 frames per second"},
        {"truncated track", midiFile(0, 96, {runningStatus}).substr(0, 30), "refused: track 1 is cut short (40 bytes announced, 8 there)"},
        {"fewer tracks than announced", midiFile(1, 96, {notes}, 2), "refused: the header announces 2 tracks, the file holds 1"},
        {"data byte without a status", midiFile(0, 96, {MidiTrack().raw(0, {60, 1})}), "refused: track 1: a data byte (0x3C) with no status before it"},
        {"delta time of five bytes", midiFile(0, 96, {MidiTrack{"\x81\x81\x81\x81\x01\x90\x01\x01"}}),
         "refused: track 1: a delta time longer than four bytes"},
        {"meta event longer than its track", midiFile(0, 96, {MidiTrack().raw(0, {0xFF, 0x01, 0x7F, 'x'})}),
         "refused: track 1: a meta event of 127 bytes runs past the end of the track"},
        {"system exclusive longer than its track", midiFile(0, 96, {MidiTrack().raw(0, {0xF0, 0xFF, 0xFF, 0xFF, 0x7F})}),
         "refused: track 1: a system exclusive event of 268435455 bytes runs past the end of the track"},
        {"tempo of two bytes", midiFile(0, 96, {MidiTrack().raw(0, {0xFF, 0x51, 2, 1, 2})}), "refused: track 1: a tempo event of 2 bytes (3 expected)"},
        {"a real-time status in a file", midiFile(0, 96, {MidiTrack().raw(0, {0xF8})}), "refused: track 1: status byte 0xF8 does not belong in a file"},
        {"a data byte of 0x80 and up", midiFile(0, 96, {MidiTrack().raw(0, {0x90, 60, 0x80})}), "refused: track 1: a channel message with data byte 0x80"},
        {"a message cut by the end of its track", midiFile(0, 96, {MidiTrack().raw(0, {0x90, 60})}), "refused: track 1 ends inside a channel message"},
        {"more events than the limit", midiFile(0, 96, {manyEvents}), "refused: more than 1048576 events"},
        {"larger than the limit", huge,
         "refused: " + std::to_string(huge.size()) + " bytes: larger than the 16777216 bytes a MIDI file may have"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string got = readOut(c.file);
        if (c.expected.rfind("refused: SMPTE", 0) == 0)
            EXPECT_EQ(got.rfind(c.expected, 0), 0u) << got;
        else
            EXPECT_EQ(got, c.expected);
    }
}

// A file's messages through the map: mapped notes press keys, controllers
// fold to one change per 1/100 s with the last value at its time.
TEST(MidiFile, CuesFoldControllerSweepsAndLeaveUnmappedMessagesOut)
{
    auto script = parsed(R"(<midi note="36" key="A"/><midi note="36" key="B"/>
        <midi cc="7" effect="fx" param="level" min="0" max="127"/>)");
    controllers::cMidiMap map;
    for (cXmlTag* tag : script->children()) ASSERT_TRUE(map.add(tag));

    // 1000 ticks a quarter at 1 s a quarter: 1 tick = 1 ms. A sweep of CC 7
    // every 3 ms from 0 to 30 ms, CC 7 of another channel, notes.
    MidiTrack t;
    t.tempo(0, 1000000).note(0, 1, 36, 90);
    for (int i = 0; i <= 10; ++i) t.cc(i == 0 ? 0 : 3, 1, 7, 10 + i);
    t.cc(0, 2, 7, 99).note(0, 1, 37, 90).note(5, 1, 36, 0).cc(0, 1, 8, 1).end();
    controllers::sMidiFile file;
    std::string why;
    const std::string bytes = midiFile(0, 1000, {t});
    ASSERT_TRUE(cMidiFileReader::read(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), file, why))
        << why;

    controllers::sMidiCueCount count;
    std::string got;
    for (const controllers::sMidiCue& cue : controllers::cuesOf(file, map, count)) {
        char at[16];
        std::snprintf(at, sizeof at, "%.3f", cue.seconds);
        got += std::string(got.empty() ? "" : "; ") + at;
        for (const controllers::sAction& a : cue.actions)
            got += a.kind == controllers::sAction::eKind::press ? std::string(" press ") + char(a.key) : " " + a.value;
    }
    // Runs start at 0, 12 and 24 ms (each within 10 ms of its start); the
    // other channel's change is its own controller.
    EXPECT_EQ(got, "0.000 press A; 0.000 press B; 0.009 13; 0.021 17; 0.030 20; 0.030 99");
    EXPECT_EQ(count.notes, 1u);
    EXPECT_EQ(count.controllers, 4u);
    EXPECT_EQ(count.merged, 8u);
    EXPECT_EQ(count.unmapped, 2u); // note 37, CC 8; a note-on of velocity 0 is no press
}

// Cues declared while the show plays take their place in time order among
// the events still to fire, fire in the frame they are due in, and are
// declared once when the fragment that declared them runs again.
TEST(MidiFile, TimelinePlacesCuesAmongTheEventsStillToFire)
{
    auto script = parsed(R"(<event id="start" time="0.1"/><event id="late" time="0.5"/><event id="key" key="K"/>
        <cue id="c1" time="0.3"/><cue id="c0" time="0.1"/><cue id="c2" time="0.55"/><cue id="c3" time="9"/>)");
    cTimeline timeline;
    timeline.frameRate = 10;
    std::vector<cXmlTag*> cues;
    for (cXmlTag* tag : script->children()) {
        if (tag->nameIs("event"))
            timeline.declare(tag);
        else
            cues.push_back(tag);
    }
    timeline.sort();
    std::string fired;
    float declaredAt = -1;
    const cTimeline::Runner run = [&](cEvent& e, bool again) {
        fired += std::string(fired.empty() || fired.back() == '|' ? "" : " ") + e.fragment->getString("id") +
                 (again ? "*" : "");
        // "start" declares the cues, as a <midifile> in its fragment would,
        // at its own time whichever frame runs it.
        if (std::string(e.fragment->getString("id")) == "start") {
            declaredAt = timeline.running()->time;
            for (cXmlTag* c : cues) timeline.declareCue(c, again);
        }
    };
    auto frames = [&](int n, float speed) {
        for (int i = 0; i < n; ++i) {
            fired += '|';
            timeline.frameTime = timeline.clock;
            timeline.speed = speed;
            timeline.advance(10.0f, run);
        }
    };
    frames(7, 1);
    EXPECT_FLOAT_EQ(declaredAt, 0.1f);
    // Frame k starts at k / 10 s exactly: 0.3 and 0.5 fire on frames 3 and 5.
    EXPECT_EQ(fired, "||start c0||c1||late|c2");
    EXPECT_EQ(timeline.clock, 0.7f);
    // Rewound to 0.4: everything up to the clock runs again, no cue twice.
    fired.clear();
    frames(1, -3);
    EXPECT_EQ(fired, "|start* c0* c1*");
    EXPECT_EQ(timeline.eventCount, 7);
    EXPECT_EQ(timeline.room(), cTimeline::kMaxEvents - 7);
}

namespace {

class MidiFileShow : public kxtest::LoggedShow {
protected:
    // The markers (children named mark...) the log shows as run since the
    // last call, in order, one letter each after "mark".
    std::string markersRun()
    {
        const std::string log = readFile("log.txt");
        std::string out;
        const std::regex marker(R"(param \d+\.\d+ \[mark(\w+)\])");
        for (auto it = std::sregex_iterator(log.begin() + long(seen_), log.end(), marker); it != std::sregex_iterator(); ++it)
            out += (*it)[1];
        seen_ = log.size();
        return out;
    }
    // Frames of 0.1 s at the given speed, as the frame loop plays them in capture mode.
    void frames(cDemo& demo, int n, float speed = 1.0f)
    {
        demo.timeline.frameRate = 10;
        for (int i = 0; i < n; ++i) {
            demo.timeline.frameTime = demo.timeline.clock;
            demo.timeline.speed = speed;
            demo.advanceShow(10.0f);
        }
        demo.timeline.speed = 1.0f;
    }

    struct Script {
        cXmlTag root;
        explicit Script(const std::string& text)
        {
            cMemoryStream source(text.data(), static_cast<int>(text.size()));
            EXPECT_EQ(parse(&root, source), 0) << lastError();
        }
    };

    TempDir dir;
    size_t seen_ = 0;
};

} // namespace

// Scrubbing runs a file's cues again as the show's own events run again,
// each declared once; a missing or broken file leaves the show playing.
TEST_F(MidiFileShow, ScrubbingReplaysTheFilesCues)
{
    // Notes 36 and 38 at 0.5, 1.0 and 2.5 s of the file (120 beats a minute).
    writeDataFile("music/cues.mid",
                  midiFile(0, 96, {MidiTrack().note(96, 1, 36, 64).note(96, 1, 38, 64).note(288, 1, 36, 64).end()}));
    writeDataFile("broken.mid", midiFile(0, 96, {MidiTrack().note(0, 1, 36, 64)}).substr(0, 25));
    Script s(R"(<demo>
        <midi note="36" key="A"/><midi note="38" key="B"/>
        <event key="A"><markA/></event><event key="B"><markB/></event>
        <event time="1"><markS/><midifile filename="cues.mid"/><midifile filename="gone.mid"/></event>
        <event time="3"><markL/></event>
        <midifile filename="broken.mid"/>
    </demo>)");
    cDemo demo;
    demo.doXML(s.root.firstChild);
    demo.timeline.sort();

    frames(demo, 23); // to 2.2 s: the file starts at 1 s
    EXPECT_EQ(markersRun(), "SAB");
    frames(demo, 1, -5); // back to 1.7 s: every event up to it again
    EXPECT_EQ(markersRun(), "SA");
    frames(demo, 23); // on to 4.0 s: the last one replayed fires once more, as every event does
    EXPECT_EQ(markersRun(), "ABLA");
    EXPECT_EQ(demo.timeline.eventCount, 4 + 3);
    EXPECT_NE(readFile("log.txt").find("midifile: cues.mid (data/music/cues.mid, format 0, 1 tracks): 3 notes and 0 "
                                       "controller changes from 1.000 s, 3 cues"),
              std::string::npos);
}

// A file with more notes than the show can hold fills the show's events
// and says how many cues it left out.
TEST_F(MidiFileShow, CuesBeyondTheShowsEventsAreLeftOutWithALogLine)
{
    MidiTrack notes;
    for (int i = 0; i < 5000; ++i) notes.note(1, 1, 60, 100);
    writeDataFile("many.mid", midiFile(0, 96, {notes.end()}));
    Script s(R"(<demo><midi note="60" key="A"/><event key="A"/><midifile filename="many.mid"/></demo>)");
    cDemo demo;
    demo.doXML(s.root.firstChild);
    demo.timeline.sort();
    EXPECT_EQ(demo.timeline.eventCount, int(cTimeline::kMaxEvents));
    EXPECT_NE(readFile("log.txt").find("Error: midifile: many.mid: 905 cues left out, the show holds at most 4096 events"),
              std::string::npos);
}
