// The sound's model: where a channel stands at a show time, from the play
// and pause calls written down for it. Times in seconds at 100 frames a
// second, so a frame is 10 ms.
#include "audio/cue_sheet.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace kxaudio;

constexpr uint32_t kRate = 100;

tShape tune(uint64_t length, bool repeats = false, uint64_t loopStart = 0)
{
    tShape s;
    s.known = true;
    s.length = length;
    s.repeats = repeats;
    s.loopStart = loopStart;
    return s;
}

tShape sample(uint64_t length, uint32_t voices)
{
    tShape s = tune(length);
    s.voices = voices;
    return s;
}

TEST(CueSheet, WhereAChannelStandsAtAShowTime)
{
    const eCue P = eCue::play, R = eCue::restart, S = eCue::pause, V = eCue::voice;
    struct tCase {
        const char* what;
        tShape shape;
        std::vector<std::pair<double, eCue>> cues; // in the order made
        double t;
        bool playing, ended;
        uint64_t frame;
        std::vector<uint64_t> voices;
    } const cases[] = {
        {"waits at its start for a play after t", tune(1000), {{5, P}}, 3, false, false, 0, {}},
        {"plays from its play", tune(1000), {{2, P}}, 5, true, false, 300, {}},
        {"a call after t is not made yet", tune(1000), {{0, P}, {8, S}}, 5, true, false, 500, {}},
        {"round its loop from the loop start", tune(1000, true, 400), {{0, P}}, 25, true, false, 700, {}},
        {"a loop back to the start", tune(1000, true), {{1, P}}, 23.5, true, false, 250, {}},
        {"an ended tune stays ended", tune(1000), {{0, P}}, 15, false, true, 1000, {}},
        {"played after its end, it starts over", tune(1000), {{0, P}, {12, P}}, 14, true, false, 200, {}},
        {"a pause holds it, a play resumes it", tune(1000), {{0, P}, {3, S}, {10, P}}, 12, true, false, 500, {}},
        {"a restart goes back to the start", tune(1000), {{0, P}, {4, R}}, 6, true, false, 200, {}},
        {"a call run again after later ones counts at its time",
         tune(1000),
         {{3, S}, {1, P}},
         5,
         false,
         false,
         200,
         {}},
        {"finished playbacks do not sound again",
         sample(5, 16),
         {{0.2, V}, {0.4, V}, {0.6, V}, {0.8, V}, {1.0, V}, {1.2, V}, {1.4, V}, {1.6, V}, {1.8, V}, {2.0, V}},
         3,
         false,
         true,
         0,
         {}},
        {"playbacks still sounding, the oldest cut at the limit",
         sample(100, 2),
         {{0, V}, {0.5, V}, {0.8, V}},
         0.9,
         true,
         false,
         0,
         {40, 10}},
        {"a paused sample holds its playbacks", sample(100, 4), {{0, V}, {0.3, S}}, 2, false, false, 0, {30}},
    };
    for (const tCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<tCue> cues;
        for (const auto& cue : c.cues) cues.push_back(tCue{cue.first, 7, cue.second, 1});
        const tPlace place = placeAt(cues, c.shape, c.t, kRate);
        EXPECT_EQ(place.playing, c.playing);
        EXPECT_EQ(place.ended, c.ended);
        if (!c.shape.voices) {
            EXPECT_EQ(place.frame, c.frame);
        }
        EXPECT_EQ(place.voices, c.voices);
    }
}

TEST(CueSheet, AFragmentRunAgainReplacesItsCuesAndRehearsalOnlyWritesThemDown)
{
    cCueSheet sheet;
    sheet.setContext(2, 11, false);
    EXPECT_TRUE(sheet.record(1, eCue::voice));
    EXPECT_TRUE(sheet.record(1, eCue::voice)); // two plays in one fragment: two playbacks
    sheet.setContext(2.5, 0, false);
    EXPECT_TRUE(sheet.record(1, eCue::pause)); // a performer's key
    sheet.setContext(2, 11, true);             // the fragment run again by a scrub
    EXPECT_FALSE(sheet.record(1, eCue::voice));
    EXPECT_TRUE(sheet.rehearsing());
    ASSERT_EQ(sheet.cuesOf(1).size(), 2u);

    sheet.setContext(9, 12, false);
    sheet.record(2, eCue::play);
    sheet.forget(5, false); // the show went back to 5 s
    EXPECT_TRUE(sheet.cuesOf(2).empty());
    EXPECT_EQ(sheet.channels(), (std::vector<uint32_t>{1, 2})); // still cued: it waits for its play
    sheet.forget(100, true);                                    // the script read anew
    ASSERT_EQ(sheet.cuesOf(1).size(), 1u);
    EXPECT_EQ(sheet.cuesOf(1)[0].what, eCue::pause);
    sheet.forgetChannel(1);
    EXPECT_EQ(sheet.channels(), (std::vector<uint32_t>{2}));
}

} // namespace
