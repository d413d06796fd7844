// The real player run headless (offscreen video, dummy audio) on small
// scripts.
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <sys/wait.h>

#ifndef KX_PLAYER_PATH
#error "KX_PLAYER_PATH must name the player binary"
#endif

namespace {

struct PlayerResult {
    int status = -1;
    std::string out;  // standard output and standard error together
};

// Runs the player in the current folder; never longer than a minute.
PlayerResult runPlayer(const std::string& args)
{
    // The GL driver leaks from a module it unloads before exit, which the
    // leak checker cannot name or suppress; our own leaks are checked by the
    // in-process tests.
    const std::string cmd = "ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy DISPLAY= "
                            "timeout 60 " +
                            std::string(KX_PLAYER_PATH) + " " + args + " 2>&1";
    PlayerResult r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Width and height from a PNG file's header.
std::pair<int, int> pngSize(const std::string& file)
{
    const std::string b = kxtest::readFile(file);
    if (b.size() < 24 || b.compare(1, 3, "PNG") != 0) return {0, 0};
    auto be = [&](size_t at) {
        return (int(uint8_t(b[at])) << 24) | (int(uint8_t(b[at + 1])) << 16) | (int(uint8_t(b[at + 2])) << 8) |
               int(uint8_t(b[at + 3]));
    };
    return {be(16), be(20)};
}

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
    kxtest::writeDataFile("script.txt",
                          R"(<demo lockfps="25" width="64" height="48"><create/><load/><run/></demo>)");
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

    for (const char* bad : {"--capture x", "--capture x --fps 0 --frames 3", "--capture x --fps 10",
                            "--fps 10", "--frames", "--bogus", "--capture x --fps 10 --frames 2 --seconds 1"}) {
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
