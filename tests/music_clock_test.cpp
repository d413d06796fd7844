// clock="music": the show clock against a tone mixed offline, whose
// position is then known exactly. Each sample of the tone (a sawtooth)
// tells which frame of it is playing.
#include "audio/bass.h"
#include "player/demo.h"
#include "player/log.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kRate = 44100;

int16_t toneAt(long frame) { return int16_t(frame % 30000 - 15000); }

// A mono 16-bit WAV of the tone.
std::vector<unsigned char> toneWav(long frames)
{
    const uint32_t bytes = uint32_t(frames * 2);
    std::vector<unsigned char> w(44 + bytes, 0);
    auto put = [&](size_t at, uint32_t v, int size) {
        for (int i = 0; i < size; ++i) w[at + size_t(i)] = static_cast<unsigned char>(v >> (8 * i));
    };
    std::memcpy(&w[0], "RIFF", 4);
    put(4, 36 + bytes, 4);
    std::memcpy(&w[8], "WAVEfmt ", 8);
    put(16, 16, 4);
    put(20, 1, 2); // PCM
    put(22, 1, 2); // mono
    put(24, kRate, 4);
    put(28, kRate * 2, 4);
    put(32, 2, 2);
    put(34, 16, 2);
    std::memcpy(&w[36], "data", 4);
    put(40, bytes, 4);
    for (long i = 0; i < frames; ++i) put(44 + size_t(i) * 2, uint16_t(toneAt(i)), 2);
    return w;
}

class MusicClock : public ::testing::Test {
protected:
    void SetUp() override
    {
        cLog::get()->reset();
        gSwitches = sDemoSwitches();
        BASS_Free();
        ASSERT_TRUE(BASS_SetOffline(TRUE));
        ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
        wav = toneWav(30L * kRate);
        stream = BASS_StreamCreateFile(TRUE, wav.data(), 0, wav.size(), 0);
        ASSERT_NE(stream, 0u);
        demo.timeline.source = cTimeline::eSource::music;
    }
    void TearDown() override
    {
        BASS_Free();
        BASS_SetOffline(FALSE);
    }

    // One frame whose timer says `step` (units of 10 ms), then `mix` frames
    // of sound. Returns the first mixed left sample.
    int frame(float step, unsigned mix)
    {
        demo.timeline.frameTime = demo.timeline.clock;
        demo.advanceShow(step);
        std::vector<int16_t> out(size_t(mix) * 2 + 2, 0);
        if (mix) {
            EXPECT_EQ(BASS_MixOffline(out.data(), mix), mix);
        }
        return out[0];
    }
    double musicSeconds() { return BASS_ChannelBytes2Seconds(stream, BASS_ChannelGetPosition(stream, BASS_POS_BYTE)); }

    std::vector<unsigned char> wav;
    HSTREAM stream = 0;
    cDemo demo;
};

TEST_F(MusicClock, FollowsTheMusicWhateverTheFrameTimerSays)
{
    struct {
        const char* what;
        float timerStep;
        unsigned mixPerFrame;
        int stallFrom, stallTo; // frames that mix nothing
    } const cases[] = {
        {"timer and music agree", 1.0f, 441, 0, 0},
        {"frames late against the music", 1.0f, 662, 0, 0},
        {"frames early against the music", 1.5f, 441, 0, 0},
        {"the music stalls for 20 frames", 1.0f, 441, 100, 120},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(BASS_ChannelSetPosition(stream, 0, BASS_POS_BYTE));
        ASSERT_TRUE(BASS_ChannelPause(stream));
        demo.timeline.clock = 2.0f;
        for (int i = 0; i < 3; ++i) frame(c.timerStep, c.mixPerFrame); // no music yet: the frame timer
        EXPECT_NEAR(demo.timeline.clock, 2.0f + 0.03f * c.timerStep, 1e-5);

        ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, 0));
        frame(c.timerStep, 0);
        const double linked = demo.timeline.clock; // the music's start joins here, no jump
        float last = demo.timeline.clock;
        for (int i = 0; i < 200; ++i) {
            const bool stalled = i >= c.stallFrom && i < c.stallTo;
            frame(c.timerStep, stalled ? 0 : c.mixPerFrame);
            ASSERT_GE(demo.timeline.clock, last) << "frame " << i;
            last = demo.timeline.clock;
        }
        // The clock shows what is heard: up to the start of the block mixed
        // last, then as far into it as the wall clock says.
        frame(c.timerStep, 0);
        EXPECT_LE(demo.timeline.clock, linked + musicSeconds() + 1e-5);
        EXPECT_GE(demo.timeline.clock, linked + musicSeconds() - double(c.mixPerFrame) / kRate - 1e-5);
        ASSERT_TRUE(BASS_ChannelPause(stream));
        frame(c.timerStep, 0); // music paused: unlinked
    }
}

TEST_F(MusicClock, ScrubbingSilencesTheMusicThenPlaysItFromTheClocksPlace)
{
    // Played by an event at 0 s, as a script does.
    ASSERT_TRUE(KXAUDIO_SetCue(0.0, 1, 0));
    ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, 0));
    ASSERT_TRUE(KXAUDIO_SetCue(0.0, 0, 0));
    for (int i = 0; i < 50; ++i) EXPECT_NE(frame(1.0f, 441), 0) << i; // 0.5 s of the tone, linked
    const double offset = demo.musicClock.offset;

    demo.timeline.speed = 100.0f; // fast-forward 1 s a frame: silent, the music holds its place
    const double held = musicSeconds();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(frame(1.0f, 441), 0) << i;
    EXPECT_DOUBLE_EQ(musicSeconds(), held);

    // Back at normal speed the music plays on from where the show is: its
    // play was made at show time 0.
    demo.timeline.speed = 1.0f;
    const double at = double(demo.timeline.clock);
    EXPECT_NEAR(offset, 0.0, 0.02);
    EXPECT_EQ(frame(1.0f, 441), toneAt(long(std::floor(at * kRate + 1e-6))));
    EXPECT_EQ(KXAUDIO_PlayingMusic(), stream);

    // Rewound to the start, the music plays from its beginning.
    demo.timeline.speed = -100.0f;
    for (int i = 0; i < 6; ++i) frame(1.0f, 441);
    EXPECT_EQ(demo.timeline.clock, 0.0f);
    demo.timeline.speed = 1.0f;
    frame(1.0f, 441);
    EXPECT_EQ(KXAUDIO_PlayingMusic(), stream);
    EXPECT_EQ(BASS_ChannelGetPosition(stream, BASS_POS_BYTE), 441u * 4);

    // A show brought to its clock by replaying its events (a rebuilt show):
    // music that an event at 2 s starts plays from the clock's place.
    demo.timeline.clock = 7.25f;
    demo.musicClock.beginReplay();
    ASSERT_TRUE(KXAUDIO_ForgetCues(1e9, TRUE));
    ASSERT_TRUE(KXAUDIO_SetCue(2.0, 2, KXAUDIO_CUE_REHEARSE)); // what the event's run does
    ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, 0));
    ASSERT_TRUE(KXAUDIO_SetCue(7.25, 0, 0));
    EXPECT_EQ(frame(1.0f, 441), toneAt(long(5.25 * kRate)));
}

TEST_F(MusicClock, ALostSoundDeviceIsLoggedOnceAndTheFrameTimerCarriesTheShowOn)
{
    kxtest::TempDir dir;
    cLog::get()->setFileName("log.txt");
    cLog::get()->setEnabled(true);
    ASSERT_TRUE(BASS_StreamPlay(stream, FALSE, 0));
    for (int i = 0; i < 10; ++i) frame(1.0f, 441); // linked, following the music
    EXPECT_EQ(KXAUDIO_DeviceLost(), nullptr);

    ASSERT_TRUE(KXAUDIO_LoseDevice());
    ASSERT_NE(KXAUDIO_DeviceLost(), nullptr);
    // The music no longer moves; the clock takes each frame's timer step.
    const float before = demo.timeline.clock;
    for (int i = 0; i < 20; ++i) frame(1.5f, 0);
    EXPECT_NEAR(demo.timeline.clock, before + 20 * 0.015f, 1e-4);
    EXPECT_EQ(demo.musicClock.channel, 0u);

    const std::string log = kxtest::readFile("log.txt");
    size_t lines = 0;
    for (size_t at = log.find("Sound device lost ("); at != std::string::npos;
         at = log.find("Sound device lost (", at + 1))
        ++lines;
    EXPECT_EQ(lines, 1u) << log;
    EXPECT_NE(log.find("the show goes on without sound, its clock on the frame timer"), std::string::npos) << log;

    // A new session has its device again.
    BASS_Free();
    ASSERT_TRUE(BASS_Init(-1, kRate, 0, nullptr, nullptr));
    EXPECT_EQ(KXAUDIO_DeviceLost(), nullptr);
    cLog::get()->reset();
}

} // namespace
