// <midifile> with the real player: a file made by the test drives a show
// captured frame by frame, and a live show rebuilt from its script.
#include "midi_builder.h"
#include "player_runner.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace kxtest;

class MidiFileRun : public ::testing::Test {
protected:
    TempDir dir;
};

// The markers (children named mark...) the log shows as run, one letter
// each after "mark".
std::string markers(const std::string& log)
{
    std::string out;
    const std::regex marker(R"(param \d+\.\d+ \[mark(\w)\])");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), marker); it != std::sregex_iterator(); ++it)
        out += (*it)[1];
    return out;
}

} // namespace

// At 10 frames a second, frame k starts at k / 10 s. The file starts at
// 0.5 s; its tempo is 0.5 s a beat, then from beat 2 on 0.4 s. Its note
// at beat 3 (1.4 s, shown at 1.9 s) turns the picture red exactly on frame
// 19; the one at beat 4 1/3 (1.9333 s, shown at 2.4333 s) green on the
// first frame after it, 25. Then controller 1 of channel 2 sweeps the
// clear colour (its decimal value read as hexadecimal: 10 is 0x10) every
// half beat from 2.7 s, and a burst of a change a tick ends at 99.
TEST_F(MidiFileRun, NotesLandOnTheFrameOfTheirTimeAndASweepMovesAnAttribute)
{
    MidiTrack tempo;
    tempo.tempo(0, 500000).tempo(960, 400000).end();
    MidiTrack cues;
    cues.note(1440, 1, 36, 100).note(640, 1, 38, 100).raw(0, {0x80, 38, 0});
    uint32_t last = 2080;
    for (int v = 10; v <= 90; v += 10) {
        cues.cc((v == 10 ? 2400 : 2400 + (v / 10 - 1) * 240) - last, 2, 1, v);
        last = 2400 + (v / 10 - 1) * 240;
    }
    cues.cc(4560 - last, 2, 1, 11);
    for (int v = 12; v <= 99; ++v) cues.cc(1, 2, 1, v); // a tick apart: 0.83 ms
    cues.end();
    writeDataFile("music/sync.mid", midiFile(1, 480, {tempo, cues}));
    writeDataFile("bad.mid", midiFile(2, 480, {cues}));
    writeDataFile("script.txt", R"(<demo width="32" height="32">
        <loadplugin file="lumafold.dll"/>
        <add type="clear" name="bg"/><bg color="ff000000"/>
        <draworder effect="bg"/>
        <midi note="36" key="A"/><midi note="38" key="B"/>
        <midi cc="1" channel="2" effect="bg" param="color" min="0" max="127"/>
        <event key="A"><bg color="ffff0000"/></event>
        <event key="B"><bg color="ff00ff00"/></event>
        <event time="0.5"><midifile filename="sync.mid"/><midifile filename="gone.mid"/><midifile filename="bad.mid"/></event>
        <create/><load/><run/>
    </demo>)");
    const PlayerResult r = runPlayer("--capture cap --fps 10 --frames 48");
    ASSERT_EQ(r.status, 0) << r.out;

    auto expected = [](int frame) -> std::vector<int> {
        if (frame < 19) return {0, 0, 0};
        if (frame < 25) return {255, 0, 0};
        if (frame < 27) return {0, 255, 0};
        if (frame < 46) return {0, 0, 0x10 * std::min(9, (frame - 27) / 2 + 1)};
        return {0, 0, 0x99};
    };
    for (int f = 0; f < 48; ++f) {
        const Image img = readPng(frameName("cap", f));
        ASSERT_EQ(img.width, 32) << "frame " << f;
        EXPECT_EQ(img.at(16, 16), expected(f)) << "frame " << f;
    }
    EXPECT_NE(r.out.find("midifile: gone.mid refused: not found (looked for data/music/gone.mid and data/gone.mid)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("midifile: bad.mid refused: format 2 (independent sequences) is not played"), std::string::npos);
    // 2 notes; 9 + 89 changes, of which the burst's 89 fold into 7 cues
    // (13 changes 0.83 ms apart to each 10 ms, the last at the burst's end).
    const std::string log = readFile("log.txt");
    EXPECT_NE(log.find("midifile: sync.mid (data/music/sync.mid, format 1, 2 tracks): 2 notes and 98 controller "
                       "changes from 0.500 s, 18 cues (82 controller changes within 1/100 s of the one before merged, "
                       "0 not in the <midi> map)"),
              std::string::npos)
        << log;
}

// A live show rebuilt because its MIDI file was saved again while it plays:
// the cues up to the show time run once as it catches up, the rest at their
// times, none twice.
TEST_F(MidiFileRun, AReloadCatchesUpWithTheFileAndPlaysOn)
{
    // Twenty notes, 0.15 s apart from 0.1 s of the file, each pressing a key
    // whose event leaves a marker: A to T.
    MidiTrack notes;
    notes.tempo(0, 1000000);
    std::string script = R"(<demo width="32" height="32">)";
    for (int k = 0; k < 20; ++k) {
        notes.note(k == 0 ? 100 : 150, 1, 40 + k, 100);
        const char key = char('A' + k);
        script += "<midi note=\"" + std::to_string(40 + k) + "\" key=\"" + key + "\"/><event key=\"" + key +
                  "\"><mark" + key + "/></event>\n";
    }
    script += R"(<event time="0.2"><midifile filename="sync.mid"/></event>
        <event time="3.8"><exit/></event>
        <create/><load/><run/></demo>)";
    notes.end();
    writeDataFile("music/sync.mid", midiFile(0, 1000, {notes}));
    writeDataFile("script.txt", script);

    PlayerProcess::Options options;
    options.deadlineSeconds = 120;
    PlayerProcess player(options);
    // After the third note, the file is saved again: the show is rebuilt.
    for (int i = 0; i < 3000 && markers(readFile("log.txt")).size() < 3 && !player.ended(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    writeDataFile("music/sync.mid", midiFile(0, 1000, {notes}));
    EXPECT_EQ(player.wait(), 0);

    const std::string log = readFile("log.txt");
    const size_t reload = log.find("reload: data/music/sync.mid changed");
    ASSERT_NE(reload, std::string::npos) << log;
    ASSERT_NE(log.find("show rebuilt at", reload), std::string::npos) << log;
    const std::string before = markers(log.substr(0, reload)), after = markers(log.substr(reload));
    EXPECT_EQ(before, std::string("ABCDEFGHIJKLMNOPQRST").substr(0, before.size()));
    EXPECT_GE(before.size(), 3u);
    EXPECT_EQ(after, "ABCDEFGHIJKLMNOPQRST");
}
