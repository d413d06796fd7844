// Reload on save with the real player: the show's files are changed on disk
// while it plays headless, and its console and log tell what it made of it.
#include "player_runner.h"
#include "test_util.h"
#include "tga_builder.h"
#include "wav_builder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using namespace kxtest;

// The player playing in the background, headless unless told otherwise;
// its console goes to console.txt.
class LivePlayer {
public:
    explicit LivePlayer(const std::string& args, const std::string& env = "", bool headless = true)
        : process_(options(args, env, headless))
    {
    }

    std::string console() const { return readFile("console.txt"); }
    std::string log() const { return readFile("log.txt"); }

    // Waits until the console (or the log) holds the text `times` times;
    // false when the player ended first or after two minutes.
    bool waitFor(const std::string& text, size_t times = 1, bool inLog = false)
    {
        for (int i = 0; i < 6000; ++i) {
            if (count(inLog ? log() : console(), text) >= times) return true;
            if (process_.ended()) return count(inLog ? log() : console(), text) >= times;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    // Waits for the player to end by itself; its exit code, -1 on a timeout.
    int wait() { return process_.wait(); }
    void stop() { process_.stop(); }
    // The player's resident memory in kB, from /proc.
    long residentKb() const
    {
        std::ifstream in("/proc/" + std::to_string(process_.pid()) + "/status");
        std::string line;
        while (std::getline(in, line))
            if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
        return -1;
    }

private:
    static PlayerProcess::Options options(const std::string& args, const std::string& env, bool headless)
    {
        PlayerProcess::Options o;
        o.args = words(args);
        o.env = words(env);
        o.headless = headless;
        o.deadlineSeconds = 120;
        return o;
    }
    PlayerProcess process_;
};

// A show of one clear colour and the pixel probe; `extra` goes before create.
std::string show(const std::string& colour, const std::string& extra = "", const std::string& after = "")
{
    return R"(<demo name="live" width="64" height="48">
        <loadplugin file="lumafold.dll"/><loadplugin file="kxtest_pixel.so"/>
        <add type="clear" name="bg"/><bg color="ff)" +
           colour + R"("/>
        <add type="pixel" name="probe"/>
        <draworder effect="bg" effect="probe"/>
        )" +
           extra + R"(<create/><load/><run/>)" + after + R"(
    </demo>)";
}

class Reload : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(Reload, EditAColourAddAnEventBreakTheScriptAndFixIt)
{
    writeDataFile("script.txt", show("204060"));
    LivePlayer player("");
    ASSERT_TRUE(player.waitFor("probe: pixel 204060")) << player.console();

    // A new colour: the rebuilt show draws it.
    writeDataFile("script.txt", show("806040"));
    ASSERT_TRUE(player.waitFor("probe: pixel 806040")) << player.console();
    EXPECT_TRUE(player.waitFor("reload: data/script.txt changed", 1, true));

    // A new event at a time already passed runs as the show catches up.
    writeDataFile("script.txt", show("806040", R"(<event time="0.01"><markAdded/></event>)"));
    ASSERT_TRUE(player.waitFor("[markAdded]", 1, true)) << player.log();

    // A broken script is reported, and the show goes on as it was.
    writeDataFile("script.txt", R"(<demo name="live"><bg color=")");
    ASSERT_TRUE(player.waitFor("reload failed: ", 1)) << player.console();
    EXPECT_TRUE(player.waitFor("reload failed: ERROR: tag [demo] couldn't be read", 1, true)) << player.log();
    EXPECT_TRUE(player.waitFor("script.txt:1:", 1)) << player.console(); // where, as at the start
    // So is a script whose show would not play.
    writeDataFile("script.txt", R"(<demo name="live"><create/><load/></demo>)");
    ASSERT_TRUE(player.waitFor("reload failed: demo 1 of the script has no run", 1, true)) << player.log();

    // Fixed, it reloads.
    writeDataFile("script.txt", show("00ff00"));
    ASSERT_TRUE(player.waitFor("probe: pixel 00ff00")) << player.console();

    // Made to end itself at once, the demo element goes on after the run
    // of the new script.
    writeDataFile("script.txt", show("00ff00", R"(<event time="0"><exit/></event>)", "<markAfterNewRun/>"));
    EXPECT_EQ(player.wait(), 0);
    const std::string console = player.console(), log = player.log();
    EXPECT_EQ(count(log, "show rebuilt at"), 4u) << log;
    EXPECT_EQ(count(log, "[markAfterNewRun]"), 1u) << log;
    // The old show's effects went every time, and the library stayed.
    EXPECT_EQ(count(console, "probe: unload pixel probe"), 5u) << console;
    EXPECT_EQ(count(console, "probe: library pixel unloaded"), 1u) << console;
}

TEST_F(Reload, AChangedIncludeOrTextureReloadsOnlyWhatChanged)
{
    TgaFile tga;
    tga.width = tga.height = 8;
    tga.data = std::string(8 * 8 * 3, '\x40');
    writeDataFile("textures/wall.tga", tga.bytes());
    writeDataFile("more.txt", R"(<event time="0"><markOne/></event>)");
    writeDataFile("script.txt", show("000000",
                                     R"(<add type="picture" name="pic"/><pic filename="wall.tga"/>
        <draworder effect="bg" effect="pic" effect="probe"/><include file="more.txt"/>)"));
    LivePlayer player("");
    ASSERT_TRUE(player.waitFor("probe: pixel 404040")) << player.console();

    writeDataFile("more.txt", R"(<event time="0"><markTwo/></event>)");
    ASSERT_TRUE(player.waitFor("[markTwo]", 1, true)) << player.log();
    tga.data = std::string(8 * 8 * 3, '\x10');
    writeDataFile("textures/wall.tga", tga.bytes());
    ASSERT_TRUE(player.waitFor("probe: pixel 101010")) << player.console();
    player.stop();

    // The texture was read once for each of its versions, the script three times.
    const std::string console = player.console();
    EXPECT_EQ(count(console, "load[data/textures/wall.tga]"), 2u) << console;
    EXPECT_EQ(count(console, "load[data/script.txt]"), 3u) << console;
    EXPECT_TRUE(player.waitFor("reload: data/textures/wall.tga changed", 1, true));
}

TEST_F(Reload, AnEventAFragmentDeclaredWaitsBehindTheLaterOnesAfterAReload)
{
    const std::string events = R"(<event time="0.3"><event time="0.5"><markInner/></event></event>
        <event time="0.4"><markReady/></event><event time="5"><markLater/></event>
        <event time="6"><exit/></event>)";
    writeDataFile("script.txt", show("204060", events));
    LivePlayer player("");
    ASSERT_TRUE(player.waitFor("[markReady]", 1, true)) << player.log();
    writeDataFile("script.txt", show("806040", events));
    EXPECT_EQ(player.wait(), 0);
    const std::string log = player.log();
    const std::regex rebuilt("show rebuilt at ([0-9.]+) s");
    std::smatch at;
    ASSERT_TRUE(std::regex_search(log, at, rebuilt)) << log;
    ASSERT_LT(std::stod(at[1]), 5.0) << "the reload came too late to tell";
    // From the reload on, the event at 5 s fires, then the one declared at
    // 0.3 s behind it, never before.
    const size_t reload = log.find("reload: data/script.txt changed");
    const size_t later = log.find("[markLater]", reload);
    ASSERT_NE(later, std::string::npos) << log;
    EXPECT_NE(log.find("[markInner]", later), std::string::npos) << log;
    EXPECT_EQ(log.find("[markInner]", reload), log.find("[markInner]", later)) << log;
}

TEST_F(Reload, MediaChangedWhileTheScriptWasBrokenAreReadOnceItIsMended)
{
    TgaFile tga;
    tga.width = tga.height = 8;
    tga.data = std::string(8 * 8 * 3, '\x40');
    // A blank in a name is a name like any other.
    writeDataFile("textures/my wall.tga", tga.bytes());
    const std::string script = show("000000", R"(<add type="picture" name="pic"/><pic filename="my wall.tga"/>
        <draworder effect="bg" effect="pic" effect="probe"/>)");
    writeDataFile("script.txt", script);
    LivePlayer player("");
    ASSERT_TRUE(player.waitFor("probe: pixel 404040")) << player.console();

    tga.data = std::string(8 * 8 * 3, '\x20');
    writeDataFile("textures/my wall.tga", tga.bytes());
    ASSERT_TRUE(player.waitFor("probe: pixel 202020")) << player.console();

    writeDataFile("script.txt", R"(<demo name="live"><bg color=")");
    ASSERT_TRUE(player.waitFor("reload failed: ", 1)) << player.console();
    tga.data = std::string(8 * 8 * 3, '\x10');
    writeDataFile("textures/my wall.tga", tga.bytes());
    ASSERT_TRUE(player.waitFor("reload failed: ", 2)) << player.console();
    writeDataFile("script.txt", script);
    EXPECT_TRUE(player.waitFor("probe: pixel 101010")) << player.console();
}

TEST_F(Reload, AnIncludeThatWentAwayIsABrokenScript)
{
    writeDataFile("more.txt", R"(<bg color="ff204060"/>)");
    writeDataFile("script.txt", show("000000", R"(<include file="more.txt"/>)"));
    LivePlayer player("");
    ASSERT_TRUE(player.waitFor("probe: pixel 204060")) << player.console();

    std::filesystem::remove("data/more.txt");
    ASSERT_TRUE(player.waitFor("reload failed: ERROR: include [more.txt] is gone")) << player.console();
    std::filesystem::create_directory("data/more.txt");
    ASSERT_TRUE(player.waitFor("reload failed: ERROR: include [more.txt] is a folder now")) << player.console();
    std::filesystem::remove("data/more.txt");
    writeDataFile("more.txt", R"(<bg color="ff806040"/>)");
    ASSERT_TRUE(player.waitFor("probe: pixel 806040")) << player.console();
    player.stop();
    // The show played on as it was while the include was gone: no show
    // without its colour was built.
    const std::string console = player.console();
    EXPECT_EQ(console.find("probe: pixel 000000"), std::string::npos) << console;
    EXPECT_EQ(count(console, "show rebuilt at"), 1u) << console;
}

TEST_F(Reload, ASaveThatKeepsSizeAndTimeStampIsSeen)
{
    writeDataFile("script.txt", show("204060"));
    LivePlayer player("");
    ASSERT_TRUE(player.waitFor("probe: pixel 204060")) << player.console();
    const auto stamp = std::filesystem::last_write_time("data/script.txt");
    writeDataFile("script.txt", show("806040")); // the same size
    std::filesystem::last_write_time("data/script.txt", stamp);
    EXPECT_TRUE(player.waitFor("probe: pixel 806040")) << player.console();
}

TEST_F(Reload, OffWithNoReload)
{
    writeDataFile("script.txt", show("204060", R"(<event time="1"><exit/></event>)"));
    LivePlayer player("--no-reload");
    ASSERT_TRUE(player.waitFor("probe: pixel 204060")) << player.console();
    writeDataFile("script.txt", show("806040", R"(<event time="1"><exit/></event>)"));
    EXPECT_EQ(player.wait(), 0);
    EXPECT_EQ(player.console().find("806040"), std::string::npos);
    EXPECT_EQ(player.log().find("reload"), std::string::npos);
}

TEST_F(Reload, TwoHundredReloadsKeepMemoryAndGLObjectsFlat)
{
    const std::string writer =
        std::string(KX_MODULE_WRITER_PATH) + " --patterns 1 --loop data/music/loop.mod >/dev/null";
    std::filesystem::create_directories("data/music");
    ASSERT_EQ(std::system(writer.c_str()), 0);
    TgaFile tga;
    tga.width = tga.height = 64;
    tga.data = testPixels(64, 64, 3);
    writeDataFile("textures/wall.tga", tga.bytes());
    // The probe named "again" presses F5 each time the show is built.
    writeDataFile("script.txt", show("000000", R"(<add type="picture" name="pic"/><pic filename="wall.tga"/>
        <add type="musicplay" name="tune"/><tune filename="loop.mod"/>
        <texture mode="load" filename="wall.tga"/>
        <add type="pixel" name="again"/>
        <draworder effect="bg" effect="pic" effect="tune" effect="again"/>
        <event time="0"><tune><play/></tune></event>)"));
    LivePlayer player("", "ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=0");
    // The texture changes now and then, so some rebuilds load it afresh and
    // let the old one go, and others keep it.
    std::atomic<bool> playing{true};
    std::thread toucher([&] {
        for (int i = 1; playing; ++i) {
            std::error_code error;
            std::filesystem::last_write_time("data/textures/wall.tga",
                                             std::filesystem::file_time_type::clock::now() + std::chrono::seconds(i),
                                             error);
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
    });
    const bool early20 = player.waitFor("show rebuilt at", 20, true);
    const long early = player.residentKb();
    const bool late200 = player.waitFor("show rebuilt at", 200, true);
    const long late = player.residentKb();
    playing = false;
    toucher.join();
    player.stop();
    ASSERT_TRUE(early20 && late200) << player.log();
    std::printf("resident memory after 20 reloads %ld kB, after 200 %ld kB\n", early, late);
    EXPECT_GT(early, 0);
    EXPECT_LT(late - early, 16 * 1024) << "kB";

    // The last effect loaded sees the same number of live textures and
    // lists in every rebuilt show, whether the texture was kept or not.
    const std::string console = player.console();
    std::regex live("probe: live textures (\\d+) lists (\\d+)");
    std::vector<std::string> counts;
    for (std::sregex_iterator it(console.begin(), console.end(), live), end; it != end; ++it)
        counts.push_back((*it)[0]);
    ASSERT_GE(counts.size(), 200u * 2);
    for (size_t i = 5; i < counts.size(); i += 2) EXPECT_EQ(counts[i], counts[3]) << i;
    const size_t textureReads = count(console, "load[data/textures/wall.tga]");
    EXPECT_GT(textureReads, 2u) << "the changed texture was never read again";
    EXPECT_LT(textureReads, 2u * 200u) << "the unchanged texture was read again";
    // The tune was read once and played on through every reload.
    EXPECT_EQ(count(console, "load[data/music/loop.mod]"), 1u);
}

// --- What is heard: the player in a real window (Xvfb), its sound recorded
// in real time by SDL's disk audio driver into heard.raw (16-bit stereo at
// 44.1 kHz), while the show is saved and scrubbed.

// An X server of the tests' own, for as long as the object lives.
class XServer {
public:
    XServer()
    {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "320x240x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char number[16] = {};
        ssize_t n = 0;
        for (size_t at = 0; at + 1 < sizeof number && (n = read(fds[0], number + at, 1)) == 1 && number[at] != '\n';)
            ++at;
        close(fds[0]);
        if (number[0] >= '0' && number[0] <= '9') display_ = ":" + std::string(number, std::strcspn(number, "\n"));
    }
    ~XServer()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& display() const { return display_; }
    // The player's environment: this display, the disk audio driver.
    std::string playerEnv() const
    {
        return "SDL_VIDEODRIVER=x11 DISPLAY=" + display_ + " SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=heard.raw";
    }

private:
    pid_t pid_ = -1;
    std::string display_;
};

constexpr long kFrameBytes = 4, kRate = 44100;

long heardBytes() { return static_cast<long>(readFile("heard.raw").size()); }

// Loudness in dBFS of each `seconds` of what was heard from byte `from` to
// byte `to` (-1: the end), -99 for silence.
std::vector<double> loudness(long from, long to, double seconds)
{
    const std::string raw = readFile("heard.raw");
    const long end = to < 0 ? static_cast<long>(raw.size()) : std::min<long>(to, static_cast<long>(raw.size()));
    const long window = static_cast<long>(seconds * kRate) * kFrameBytes;
    std::vector<double> levels;
    for (long at = std::max(0L, from) / kFrameBytes * kFrameBytes; at + window <= end; at += window) {
        double sum = 0;
        for (long i = at; i < at + window; i += 2) {
            const auto v = static_cast<int16_t>(uint8_t(raw[size_t(i)]) | (uint8_t(raw[size_t(i) + 1]) << 8));
            sum += double(v) * double(v);
        }
        const double mean = sum / double(window / 2) / (32768.0 * 32768.0);
        levels.push_back(mean > 0 ? 10 * std::log10(mean) : -99);
    }
    return levels;
}

std::string levelsText(const std::vector<double>& levels)
{
    std::string text;
    for (double l : levels) text += std::to_string(static_cast<int>(std::lround(l))) + " ";
    return text;
}

void writeTunes()
{
    std::filesystem::create_directories("data/music");
    const std::string writer = KX_MODULE_WRITER_PATH;
    // A tune of 1.875 s that loops, and one of 0.94 s that ends.
    ASSERT_EQ(std::system((writer + " --patterns 1 --rows 16 --loop data/music/loop.mod >/dev/null").c_str()), 0);
    ASSERT_EQ(std::system((writer + " --patterns 1 --rows 8 data/music/brief.mod >/dev/null").c_str()), 0);
}

// A stereo WAV file of `seconds` in data/music, a sine at `amplitude` from
// `from` to `to` seconds into it and silence elsewhere.
void writeTone(const std::string& name, double seconds, int amplitude, double from = 0, double to = 1e9)
{
    std::vector<int16_t> pcm(static_cast<size_t>(seconds * kRate) * 2);
    for (size_t i = 0; i < pcm.size(); ++i) {
        const double t = double(i / 2) / kRate;
        if (t >= from && t < to) pcm[i] = static_cast<int16_t>(amplitude * std::sin(t * 2 * 3.14159265 * 1000.0));
    }
    const std::vector<unsigned char> wav = makeWav(pcm, 2, kRate);
    writeDataFile("music/" + name, std::string(wav.begin(), wav.end()));
}

// A sound show: `body` between the plug-in and create.
std::string soundShow(const std::string& attributes, const std::string& colour, const std::string& body)
{
    return R"(<demo name="heard" width="64" height="48" )" + attributes + R"(>
        <loadplugin file="lumafold.dll"/>
        <add type="clear" name="bg"/><bg color="ff)" +
           colour + R"("/><draworder effect="bg"/>)" + body + R"(
        <event time="40"><exit/></event><create/><load/><run/>
    </demo>)";
}

class Heard : public Reload {
protected:
    XServer x;
};

// clock="music" with a looping tune, saved in its second pass: the tune
// sounds on, round its loop.
TEST_F(Heard, ALoopingTuneOnTheMusicClockSoundsOnAfterASaveInItsSecondPass)
{
    ASSERT_FALSE(x.display().empty());
    writeTunes();
    const std::string body = R"(<add type="musicplay" name="tune"/><tune filename="loop.mod"/>
        <event time="0"><tune><play/></tune></event><event time="2.5"><markSecondPass/></event>)";
    writeDataFile("script.txt", soundShow(R"(clock="music")", "000000", body));
    LivePlayer player("", x.playerEnv());
    ASSERT_TRUE(player.waitFor("[markSecondPass]", 1, true)) << player.log();
    const long saved = heardBytes();
    writeDataFile("script.txt", soundShow(R"(clock="music")", "203040", body));
    ASSERT_TRUE(player.waitFor("show rebuilt at", 1, true)) << player.log();
    const long rebuilt = heardBytes();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    player.stop();

    const std::vector<double> before = loudness(saved - kRate * kFrameBytes, saved, 0.25);
    const std::vector<double> after = loudness(rebuilt, -1, 0.25);
    ASSERT_GE(before.size(), 3u);
    ASSERT_GE(after.size(), 4u) << player.log();
    for (double l : before) EXPECT_GT(l, -40) << levelsText(before);
    for (double l : after) EXPECT_GT(l, -40) << "after the save: " << levelsText(after);
}

// The same tune run forward with the mouse from its second pass: it sounds
// on, round its loop.
TEST_F(Heard, ALoopingTuneOnTheMusicClockSoundsOnAfterAForwardScrubInItsSecondPass)
{
    ASSERT_FALSE(x.display().empty());
    writeTunes();
    writeDataFile("script.txt", soundShow(R"(clock="music" vhs="1")", "000000",
                                          R"(<add type="musicplay" name="tune"/><tune filename="loop.mod"/>
        <event time="0"><tune><play/></tune></event><event time="2.5"><markSecondPass/></event>)"));
    LivePlayer player("", x.playerEnv());
    ASSERT_TRUE(player.waitFor("[markSecondPass]", 1, true)) << player.log();
    // The left button held runs the show forward at 100 times its speed.
    ASSERT_EQ(std::system(("DISPLAY=" + x.display() + " xdotool search --sync --name '^heard$' mousemove --window %1 " +
                           "20 20 mousedown 1 sleep 0.2 mouseup 1")
                              .c_str()),
              0);
    const long released = heardBytes();
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    player.stop();

    // The mixer starts again within a frame or two of the release.
    const std::vector<double> after = loudness(released + kRate / 4 * kFrameBytes, -1, 0.25);
    ASSERT_GE(after.size(), 4u) << player.log();
    for (double l : after) EXPECT_GT(l, -40) << "after the scrub: " << levelsText(after) << player.log();
}

// The frame clock: a save does not replay what was played. Ten clicks over
// two seconds and a tune that ended stay silent after it.
TEST_F(Heard, ASavedShowDoesNotReplayItsSounds)
{
    ASSERT_FALSE(x.display().empty());
    writeTunes();
    writeTone("click.wav", 0.03, 20000);
    std::string body = R"(<add type="musicplay" name="tune"/><tune filename="brief.mod"/>
        <add type="musicplay" name="click"/><click filename="click.wav" sample="1"/>
        <event time="0"><tune><play/></tune></event><event time="2.4"><markQuiet/></event>)";
    for (int i = 1; i <= 10; ++i)
        body += R"(<event time=")" + std::to_string(0.2 * i) + R"("><click><play/></click></event>)";
    writeDataFile("script.txt", soundShow("", "000000", body));
    LivePlayer player("", x.playerEnv());
    ASSERT_TRUE(player.waitFor("[markQuiet]", 1, true)) << player.log();
    const long saved = heardBytes();
    writeDataFile("script.txt", soundShow("", "203040", body));
    ASSERT_TRUE(player.waitFor("show rebuilt at", 1, true)) << player.log();
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    player.stop();

    const std::vector<double> played = loudness(0, saved, 0.05);
    const std::vector<double> after = loudness(saved, -1, 0.05);
    ASSERT_GE(after.size(), 20u) << player.log();
    EXPECT_GT(*std::max_element(played.begin(), played.end()), -30) << "nothing was heard before the save";
    EXPECT_LT(*std::max_element(after.begin(), after.end()), -60) << "after the save: " << levelsText(after);
}

// clock="music" with two tunes, rewound to the start with the mouse: each
// waits for its play again, the one the clock does not follow as well.
TEST_F(Heard, TwoTunesOnTheMusicClockRewoundWaitForTheirPlays)
{
    ASSERT_FALSE(x.display().empty());
    writeTunes();
    writeTone("hum.wav", 30, 300); // quiet, and the newest: the clock follows it
    const std::string body = R"(<add type="musicplay" name="tune"/><tune filename="loop.mod"/>
        <add type="musicplay" name="hum"/><hum filename="hum.wav"/>
        <event time="2"><tune><play/></tune></event><event time="2.5"><hum><play/></hum></event>
        <event time="3.5"><markBothPlay/></event>)";
    writeDataFile("script.txt", soundShow(R"(clock="music" vhs="1")", "000000", body));
    LivePlayer player("", x.playerEnv());
    ASSERT_TRUE(player.waitFor("[markBothPlay]", 1, true)) << player.log();
    const std::string xdotool = "DISPLAY=" + x.display() + " xdotool";
    const std::string window = "$(" + xdotool + " search --sync --name '^heard$' | head -n 1)";
    // The right button held runs the show back at 100 times its speed.
    ASSERT_EQ(
        std::system((xdotool + " mousemove --window " + window + " 20 20 mousedown 3 sleep 0.4 mouseup 3").c_str()), 0);
    const long released = heardBytes();
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    player.stop();

    const std::vector<double> after = loudness(released, -1, 0.1);
    ASSERT_GE(after.size(), 8u) << player.log();
    EXPECT_LT(*std::max_element(after.begin(), after.end()), -60) << "after the rewind: " << levelsText(after);
}

// clock="music" with two sound files, saved: each stands where an unbroken
// run has it. The first sounds from 0 to 3 s of the show, the second, played
// at 1 s, only from 3.5 to 4 s; the show is saved at 2 s.
TEST_F(Heard, TwoTunesOnTheMusicClockStandAfterASaveWhereAnUnbrokenRunHasThem)
{
    ASSERT_FALSE(x.display().empty());
    writeTone("first.wav", 8, 8000, 0, 3);
    writeTone("second.wav", 8, 8000, 2.5, 3);
    const std::string body = R"(<add type="musicplay" name="first"/><first filename="first.wav"/>
        <add type="musicplay" name="second"/><second filename="second.wav"/>
        <event time="0"><first><play/></first></event><event time="1"><second><play/></second></event>
        <event time="2"><markSave/></event>)";
    writeDataFile("script.txt", soundShow(R"(clock="music")", "000000", body));
    LivePlayer player("", x.playerEnv());
    ASSERT_TRUE(player.waitFor("[markSave]", 1, true)) << player.log();
    writeDataFile("script.txt", soundShow(R"(clock="music")", "203040", body));
    ASSERT_TRUE(player.waitFor("show rebuilt at", 1, true)) << player.log();
    std::this_thread::sleep_for(std::chrono::milliseconds(3200));
    player.stop();

    // Show time 0 is where the first file starts to sound.
    const std::vector<double> fine = loudness(0, -1, 0.01);
    const auto onset = std::find_if(fine.begin(), fine.end(), [](double l) { return l > -50; });
    ASSERT_NE(onset, fine.end());
    const long zero = long(onset - fine.begin()) * kRate / 100 * kFrameBytes;
    auto at = [zero](double t) { return zero + long(t * kRate) * kFrameBytes; };
    const struct {
        double from, to;
        bool sounds;
    } spans[] = {{2.3, 2.8, true}, {3.15, 3.35, false}, {3.6, 3.9, true}, {4.2, 4.8, false}};
    for (const auto& span : spans) {
        const std::vector<double> levels = loudness(at(span.from), at(span.to), 0.05);
        ASSERT_FALSE(levels.empty()) << player.log();
        const auto [low, high] = std::minmax_element(levels.begin(), levels.end());
        if (span.sounds)
            EXPECT_GT(*low, -30) << span.from << " s: " << levelsText(levels);
        else
            EXPECT_LT(*high, -50) << span.from << " s: " << levelsText(levels);
    }
}

} // namespace
