// The real player run headless (offscreen video, dummy audio) on small
// scripts.
#include "player_runner.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <sys/wait.h>

namespace {

using namespace kxtest;

class PlayerRun : public ::testing::Test {
protected:
    kxtest::TempDir dir;
};

TEST_F(PlayerRun, CaptureWritesEveryFrameAndFiresEventsOnTheFixedClock)
{
    kxtest::writeDataFile("script.txt", R"(<demo name="cap" width="160" height="120">
        <event time="0.35"><markLate/></event>
        <event time="0.05"><markEarly/></event>
        <create/><load/><run/>
    </demo>)");
    const PlayerResult r = runPlayer("--capture shots --fps 10 --frames 5");
    EXPECT_EQ(r.status, 0) << r.out;
    for (int i = 0; i < 5; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "shots/frame_%06d.png", i);
        EXPECT_EQ(pngSize(name), std::make_pair(160, 120)) << name;
    }
    EXPECT_FALSE(kxtest::fileExists("shots/frame_000005.png"));
    // The sound track is exactly frames / fps seconds: 5 / 10 s of 44.1 kHz
    // 16-bit stereo.
    const std::string wav = kxtest::readFile("shots/audio.wav");
    ASSERT_EQ(wav.size(), 44u + 22050u * 4u);
    EXPECT_EQ(wav.compare(0, 4, "RIFF"), 0);
    EXPECT_EQ(wav.compare(8, 8, "WAVEfmt "), 0);
    auto le32 = [&](size_t at) {
        return uint32_t(uint8_t(wav[at])) | uint32_t(uint8_t(wav[at + 1])) << 8 | uint32_t(uint8_t(wav[at + 2])) << 16 |
               uint32_t(uint8_t(wav[at + 3])) << 24;
    };
    EXPECT_EQ(le32(24), 44100u);
    EXPECT_EQ(le32(40), 22050u * 4u);
    EXPECT_EQ(le32(4), 36u + 22050u * 4u);
    const std::string log = kxtest::readFile("log.txt");
    EXPECT_NE(log.find("sorting event"), std::string::npos);
    EXPECT_NE(log.find("event0 - 0.050"), std::string::npos);
    EXPECT_NE(log.find("event1 - 0.350"), std::string::npos);
    // Frames start at clock 0, 0.1, ... 0.4: both events are due by the last one.
    const size_t early = log.find("[markEarly]"), late = log.find("[markLate]");
    ASSERT_NE(early, std::string::npos);
    ASSERT_NE(late, std::string::npos);
    EXPECT_LT(early, late);
}

TEST_F(PlayerRun, ExitBeforeRunAndTwoDemosWithTheSameTitle)
{
    kxtest::writeDataFile("script.txt", R"(
        <demo><create/><exit/><run/><markAfterFirstRun/></demo>
        <demo><create/><event time="0"><exit/></event><load/><run/><markAfterSecondRun/></demo>)");
    const PlayerResult r = runPlayer("");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("RegisterClassEx"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Window Creation Error"), std::string::npos) << r.out;
    const std::string log = kxtest::readFile("log.txt");
    EXPECT_NE(log.find("[markAfterFirstRun]"), std::string::npos);
    EXPECT_NE(log.find("[markAfterSecondRun]"), std::string::npos);
    EXPECT_EQ(count(log, "Loading."), 1u);
}

TEST_F(PlayerRun, RunWithoutAWindowReturnsAtOnce)
{
    kxtest::writeDataFile("script.txt", "<demo><run/><markAfter/></demo>");
    const PlayerResult r = runPlayer("");
    EXPECT_EQ(r.status, 0);
    const std::string log = kxtest::readFile("log.txt");
    EXPECT_NE(log.find("no window to play in"), std::string::npos);
    EXPECT_NE(log.find("[markAfter]"), std::string::npos);
}

TEST_F(PlayerRun, LockfpsPrintsTheFixedStepEveryFrame)
{
    kxtest::writeDataFile("script.txt", R"(<demo lockfps="25" width="64" height="48"><create/><load/><run/></demo>)");
    const PlayerResult r = runPlayer("--capture c --fps 25 --frames 3");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(count(r.out, "lock 0.040000\n"), 3u) << r.out;
}

TEST_F(PlayerRun, BadSettingsAreRefusedWithALogLine)
{
    kxtest::writeDataFile("script.txt", R"(<demo width="-20" height="99999999" lockfps="-4" bpp="banana">
        <keybank set="garbage" inc="99999999999"/>
        <event trigger=""/>
        <create/><load/><run/></demo>)");
    const PlayerResult r = runPlayer("--capture c --fps 10 --frames 2");
    EXPECT_EQ(r.status, 0) << r.out;
    const std::string log = kxtest::readFile("log.txt");
    EXPECT_NE(log.find("width -20 out of range"), std::string::npos);
    EXPECT_NE(log.find("height 99999999 out of range"), std::string::npos);
    EXPECT_NE(log.find("lockfps -4 is negative"), std::string::npos);
    EXPECT_EQ(pngSize("c/frame_000001.png"), std::make_pair(640, 480));
}

TEST_F(PlayerRun, CommandLineOptions)
{
    PlayerResult r = runPlayer("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::regex_search(r.out, std::regex(R"(^kestrelux \(Build: \d\d:\d\d:\d\d \w{3} [ \d]\d \d{4}\)\n$)")))
        << r.out;
    EXPECT_FALSE(kxtest::fileExists("log.txt"));

    r = runPlayer("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--capture DIR"), std::string::npos);

    for (const char* bad : {"--capture x", "--capture x --fps 0 --frames 3", "--capture x --fps 10", "--fps 10",
                            "--frames", "--capture x --fps 10 --frames 2 --seconds 1"}) {
        r = runPlayer(bad);
        EXPECT_EQ(r.status, 0) << bad;
        EXPECT_NE(r.out.find("usage: kestrelux"), std::string::npos) << bad;
    }

    // --seconds gives fps x seconds frames.
    kxtest::writeDataFile("script.txt", R"(<demo width="32" height="32"><create/><load/><run/></demo>)");
    r = runPlayer("--capture s --fps 20 --seconds 0.25");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(kxtest::fileExists("s/frame_000004.png"));
    EXPECT_FALSE(kxtest::fileExists("s/frame_000005.png"));
}

} // namespace
