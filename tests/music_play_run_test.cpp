// The music effect in a real show: capture mode mixes the show's audio
// offline into audio.wav, which the tests measure.
#include "player_runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

namespace {

using namespace kxtest;

// A 16-bit stereo WAV file of a sine tone, written by the test.
std::string toneWav(double freq, double seconds, int amplitude, unsigned rate = 44100)
{
    const uint32_t frames = static_cast<uint32_t>(seconds * rate);
    std::string w;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) w.push_back(char(v >> (8 * i)));
    };
    auto put16 = [&](uint16_t v) {
        w.push_back(char(v));
        w.push_back(char(v >> 8));
    };
    w += "RIFF";
    put32(36 + frames * 4);
    w += "WAVEfmt ";
    put32(16);
    put16(1);
    put16(2);
    put32(rate);
    put32(rate * 4);
    put16(4);
    put16(16);
    w += "data";
    put32(frames * 4);
    for (uint32_t i = 0; i < frames; ++i) {
        const int16_t s = static_cast<int16_t>(amplitude * std::sin(2 * M_PI * freq * i / rate));
        put16(uint16_t(s));
        put16(uint16_t(s));
    }
    return w;
}

// Left and right samples of a 44-byte-header WAV.
struct Samples {
    std::vector<int16_t> left, right;
};
Samples readWav(const std::string& file)
{
    const std::string b = readFile(file);
    Samples s;
    for (size_t at = 44; at + 4 <= b.size(); at += 4) {
        s.left.push_back(int16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8));
        s.right.push_back(int16_t(uint8_t(b[at + 2]) | uint8_t(b[at + 3]) << 8));
    }
    return s;
}

// Strength of one frequency in a stretch of samples (Goertzel).
double power(const std::vector<int16_t>& x, size_t from, size_t count, double freq)
{
    const double w = 2 * M_PI * freq / 44100.0, c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < from + count && i < x.size(); ++i) {
        const double s0 = x[i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - c * s1 * s2;
}

double peak(const std::vector<int16_t>& x, size_t from, size_t count)
{
    int m = 0;
    for (size_t i = from; i < from + count && i < x.size(); ++i) m = std::max(m, std::abs(int(x[i])));
    return m;
}

class MusicPlayRun : public ::testing::Test {
protected:
    Samples capture(const std::string& effectSetup, const std::string& events, int frames = 20, int fps = 20)
    {
        writeDataFile("script.txt", "<demo width=\"16\" height=\"16\"><loadplugin file=\"lumafold.dll\"/>"
                                    "<add type=\"musicplay\" name=\"m\"/>" +
                                        effectSetup + events + "<create/><load/><run/></demo>");
        result = runPlayer("--capture cap --fps " + std::to_string(fps) + " --frames " + std::to_string(frames));
        EXPECT_EQ(result.status, 0) << result.out;
        return readWav("cap/audio.wav");
    }
    TempDir dir;
    PlayerResult result;
};

TEST_F(MusicPlayRun, StreamPlaysIntoTheCaptureAtItsFrequency)
{
    writeDataFile("music/tone.wav", toneWav(440, 2.0, 12000));
    const Samples s = capture(R"(<m filename="tone.wav"/>)", R"(<event time="0"><m><play/></m></event>)");
    ASSERT_EQ(s.left.size(), 44100u); // 20 frames at 20 fps: one second exactly
    const double at440 = power(s.left, 4410, 8820, 440);
    EXPECT_GT(at440, 100 * power(s.left, 4410, 8820, 660));
    EXPECT_GT(at440, 100 * power(s.left, 4410, 8820, 300));
    EXPECT_NEAR(peak(s.left, 4410, 8820), 12000, 600);
}

TEST_F(MusicPlayRun, ExtensionsAreCaseSensitiveFromTheFirstDot)
{
    writeDataFile("music/tone.wav", toneWav(440, 1.0, 12000));
    writeDataFile("music/TONE.WAV", toneWav(440, 1.0, 12000));
    writeDataFile("music/tone.final.wav", toneWav(440, 1.0, 12000));
    writeDataFile("tone", toneWav(440, 1.0, 12000));
    for (const char* name : {"TONE.WAV", "tone.final.wav", "tone"}) {
        const Samples s =
            capture(std::string("<m filename=\"") + name + "\"/>", R"(<event time="0"><m><play/></m></event>)", 10);
        EXPECT_EQ(peak(s.left, 0, s.left.size()), 0) << name;
    }
}

TEST_F(MusicPlayRun, StopPausesAndPlayContinuesVolumeScales)
{
    writeDataFile("music/tone.wav", toneWav(440, 2.0, 12000));
    // Play 0.0-0.25 s, paused 0.25-0.5 s, playing again from 0.5 s at half
    // volume; an event fires in the first frame at or after its time, so the
    // windows measured keep one frame (0.05 s) clear of each change.
    const Samples s = capture(R"(<m filename="tone.wav"/>)", R"(
        <event time="0"><m><play/></m></event>
        <event time="0.25"><m><stop/></m></event>
        <event time="0.5"><m volume="0.5"><play/></m></event>)");
    EXPECT_NEAR(peak(s.left, 1000, 8000), 12000, 600);
    EXPECT_EQ(peak(s.left, 13500, 8000), 0);
    EXPECT_NEAR(peak(s.left, 25000, 8000), 6000, 400);
}

TEST_F(MusicPlayRun, RotateAndEchoSwitchedByEvents)
{
    writeDataFile("music/tone.wav", toneWav(440, 2.0, 12000));
    // Rotate starts at angle 0: the left channel is silenced, the right kept.
    const Samples s = capture(R"(<m filename="tone.wav" rotate="1"/>)", R"(
        <event time="0"><m><play/></m></event>
        <event time="0.5"><m rotate="0"/></event>)");
    EXPECT_LT(peak(s.left, 0, 200), 200);
    EXPECT_NEAR(peak(s.right, 0, 200), 12000, 600);
    EXPECT_NEAR(peak(s.left, 30000, 4000), 12000, 600); // off again

    // Echo feeds each side into the other: a tone only on the left reaches
    // the right 1200 frames later.
    std::string w = toneWav(440, 2.0, 8000);
    for (size_t at = 44 + 2; at + 2 <= w.size(); at += 4) w[at] = w[at + 1] = 0; // right silent
    writeDataFile("music/left.wav", w);
    const Samples e = capture(R"(<m filename="left.wav" echo="1"/>)", R"(<event time="0"><m><play/></m></event>)", 4);
    EXPECT_LT(peak(e.right, 0, 1100), 10);
    EXPECT_GT(peak(e.right, 1300, 2000), 3000);
}

TEST_F(MusicPlayRun, AbsurdFlangeSpeedsAreRefusedAndTheFlangeStaysSound)
{
    writeDataFile("music/tone.wav", toneWav(440, 2.0, 8000));
    for (const std::string speed : {"1e39", "-351"}) {
        const Samples s = capture(R"(<m filename="tone.wav" flange="1" flangespeed=")" + speed + R"("/>)",
                                  R"(<event time="0"><m><play/></m></event>)", 10);
        EXPECT_EQ(count(result.out, "musicplay: flangespeed " + speed + " ignored"), 1u) << result.out;
        // The tone and its delayed copy: at most twice as strong, still 440 Hz.
        EXPECT_LE(peak(s.left, 4410, 8820), 16500) << speed;
        EXPECT_GT(power(s.left, 4410, 8820, 440), 100 * power(s.left, 4410, 8820, 660)) << speed;
    }
}

TEST_F(MusicPlayRun, AModuleThatJumpsBackPlaysOnAndDrawsItsWaveform)
{
    // The project's tune cut to its first pattern (7.5 s), whose last row
    // jumps back to the start.
    const std::string writer =
        std::string(KX_MODULE_WRITER_PATH) + " --patterns 1 --loop data/music/loop.mod >/dev/null";
    std::filesystem::create_directories("data/music");
    ASSERT_EQ(std::system(writer.c_str()), 0);
    const Samples s = capture(R"(<m filename="loop.mod"/><draworder effect="m"/>)",
                              R"(<event time="0"><m><play/></m></event>)", 48, 2);
    ASSERT_EQ(s.left.size(), 24u * 44100u);
    // Near the end of each of three passes, and into the fourth.
    for (double second : {6.5, 14.0, 21.5, 23.0}) {
        EXPECT_GT(peak(s.left, size_t(second * 44100), 22050), 1000) << "at " << second << " s";
    }
    // The last frame still draws the waveform of the music playing.
    const Image last = readPng(frameName("cap", 47));
    ASSERT_EQ(last.width, 16);
    EXPECT_TRUE(std::any_of(last.rgb.begin(), last.rgb.end(), [](unsigned char c) { return c > 100; }));
}

TEST_F(MusicPlayRun, BrokenAndMissingFilesLeaveTheShowSilent)
{
    writeDataFile("music/broken.wav", "RIFF\x10\0\0\0WAVEfmt garbage");
    writeDataFile("music/empty.mod", "");
    writeDataFile("music/junk.xm", std::string(3000, '\x7f'));
    for (const char* name : {"broken.wav", "empty.mod", "junk.xm", "missing.ogg"}) {
        const Samples s = capture(std::string("<m filename=\"") + name + "\" flange=\"1\" echo=\"1\" rotate=\"1\"/>",
                                  R"(<event time="0"><m><play/><stop/><init/><play/></m></event>)", 6);
        EXPECT_EQ(s.left.size(), 6u * 44100u / 20u) << name;
        EXPECT_EQ(peak(s.left, 0, s.left.size()), 0) << name;
    }
}

} // namespace
