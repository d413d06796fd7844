// End to end: runs the real kestrelux program in a fresh folder holding a
// data/ tree and checks its console, its log.txt and its exit code
// (start-up, script reading and the data file locator together).
#include "player_runner.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef KX_PLAYER_PATH
#error "KX_PLAYER_PATH must name the kestrelux program"
#endif

using kxtest::readFile;
using kxtest::TempDir;
using kxtest::writeDataFile;

namespace {

struct PlayerRun {
    int exitCode = -1;
    std::string console; // standard output
    std::string errors;  // standard error
    std::string log;     // log.txt afterwards ("" when missing)
    bool logExists = false;
};

const char* const kOutPath = "../stdout.txt";
const char* const kErrPath = "../stderr.txt";

// Starts the player with the given arguments in the current directory,
// headless, its output going to files (not a terminal).
std::unique_ptr<kxtest::PlayerProcess> startPlayer(const std::vector<std::string>& args)
{
    kxtest::PlayerProcess::Options options;
    options.args = args;
    options.out = kOutPath;
    options.err = kErrPath;
    auto player = std::make_unique<kxtest::PlayerProcess>(options);
    EXPECT_GT(player->pid(), 0) << "fork failed";
    return player;
}

// Waits for the player to end (it ends itself after its deadline) and
// reads what it left.
PlayerRun finishPlayer(kxtest::PlayerProcess& player)
{
    PlayerRun run;
    run.exitCode = player.wait();
    if (run.exitCode == 124) ADD_FAILURE() << "the player did not end before its deadline";
    player.stop();
    run.console = readFile(kOutPath);
    run.errors = readFile(kErrPath);
    run.logExists = kxtest::fileExists("log.txt");
    run.log = readFile("log.txt");
    return run;
}

PlayerRun runPlayer(const std::vector<std::string>& args = {}) { return finishPlayer(*startPlayer(args)); }

// A player run's own folder: <temp>/run with data/ inside, so that the
// captured output files lie beside it and not in it.
class PlayerTest : public ::testing::Test {
protected:
    PlayerTest()
    {
        std::filesystem::create_directories("run/data");
        std::filesystem::current_path("run");
    }
    TempDir dir_; // constructed first: the fixture's body runs inside it
};

// The line layout of log.txt: number, UTC time, level bar of level 0.
std::string line(int number, const std::string& textPattern)
{
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%06d", number);
    return std::string(prefix) + R"(\|\[\d\d:\d\d:\d\d\.\d\d\d\]  \*\*\*\* )" + textPattern + "\r\n";
}

std::string escaped(const std::string& text)
{
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

// log.txt holds exactly these lines.
void expectLog(const PlayerRun& run, const std::vector<std::string>& texts)
{
    std::string pattern;
    for (size_t i = 0; i < texts.size(); ++i) pattern += line(static_cast<int>(i), escaped(texts[i]));
    EXPECT_TRUE(std::regex_match(run.log, std::regex(pattern))) << "log.txt:\n" << run.log;
}

// log.txt starts with these lines; what the demos log after them keeps the
// same layout, numbered on.
void expectLogStart(const PlayerRun& run, const std::vector<std::string>& texts)
{
    std::string pattern;
    for (size_t i = 0; i < texts.size(); ++i) pattern += line(static_cast<int>(i), escaped(texts[i]));
    const std::string layout = R"(\d{6}\|\[\d\d:\d\d:\d\d\.\d\d\d\]  \*\*\*\* [^\r]*\r\n)";
    EXPECT_TRUE(std::regex_match(run.log, std::regex(pattern + "(" + layout + ")*"))) << "log.txt:\n" << run.log;
    // Line numbers go on one by one.
    int expected = 0;
    for (size_t at = 0; at < run.log.size();) {
        EXPECT_EQ(std::atoi(run.log.substr(at, 6).c_str()), expected) << run.log.substr(at, 40);
        ++expected;
        const size_t end = run.log.find("\r\n", at);
        if (end == std::string::npos) break;
        at = end + 2;
    }
}

const char* const kBanner = R"(kestrelux \(Build: \d\d:\d\d:\d\d [A-Z][a-z][a-z] [ 0-3]\d \d{4}\)\n)";

} // namespace

TEST_F(PlayerTest, PlaysTheDefaultScript)
{
    writeDataFile("script.txt", "<demo name=\"show\">\r\n  <camera id=\"c\"/>\r\n</demo>\r\n");
    const PlayerRun run = runPlayer();
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    // Banner first, a credit line and an empty line, then the load line.
    EXPECT_TRUE(std::regex_search(run.console, std::regex(std::string("^") + kBanner + "[^\n]+\n\n"))) << run.console;
    EXPECT_EQ(run.console.rfind("kestrelux (Build: ", 0), 0u);
    EXPECT_NE(run.console.find("\nload[data/script.txt]\n"), std::string::npos) << run.console;
    EXPECT_EQ(run.console.find("Error: file not found"), std::string::npos) << run.console;
    expectLogStart(run, {"Parsing Script [script.txt]", "done."});
    // Player messages go to the file only, not the console.
    EXPECT_EQ(run.console.find("Parsing Script"), std::string::npos);
}

TEST_F(PlayerTest, MissingScriptIsLoggedAndExitsZero)
{
    const PlayerRun run = runPlayer();
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.console.find("load[data/script.txt]\nError: file not found data/script.txt\n"), std::string::npos)
        << run.console;
    expectLog(run, {"Parsing Script [script.txt]", "Error: file not found data/script.txt", "couldn't find script.txt",
                    "Show ended: the script could not be read."});
}

TEST_F(PlayerTest, ArgumentNamesTheScriptFurtherArgumentsIgnored)
{
    writeDataFile("show.txt", "<demo></demo>");
    writeDataFile("script.txt", "this is not read");
    const PlayerRun run = runPlayer({"show.txt", "ignored.txt", "also-ignored.txt"});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.console.find("load[data/show.txt]\n"), std::string::npos) << run.console;
    EXPECT_EQ(run.console.find("data/script.txt"), std::string::npos);
    EXPECT_EQ(run.console.find("ignored"), std::string::npos);
    expectLogStart(run, {"Parsing Script [show.txt]", "done."});
}

TEST_F(PlayerTest, ScriptInATextureFolderByExtension)
{
    writeDataFile("textures/odd.tga", "<demo/>");
    const PlayerRun run = runPlayer({"odd.tga"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.console.find("load[data/textures/odd.tga]\n"), std::string::npos) << run.console;
    expectLogStart(run, {"Parsing Script [odd.tga]", "done."});
}

TEST_F(PlayerTest, FailedScriptLogsTheParsersText)
{
    writeDataFile("script.txt", "<demo><camera id=\"c\"></demo>");
    const PlayerRun run = runPlayer();
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    expectLog(run,
              {"Parsing Script [script.txt]", "ERROR: tag [demo] couldn't be read",
               "script.txt:1:22: </demo> does not close the open tag <camera> (script.txt:1:7): expected </camera>",
               "Show ended: the script could not be read."});
}

TEST_F(PlayerTest, FailedParamsPrintIllegalAndLogTheText)
{
    writeDataFile("script.txt", "<demo b\"x\"></demo>");
    const PlayerRun run = runPlayer();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.console.find("**** ILLEGAL ****\n"), std::string::npos) << run.console;
    expectLog(run,
              {"Parsing Script [script.txt]", "ERROR: tag [demo] couldn't be read params",
               "script.txt:1:8: a '\"' where an attribute name was expected: attributes are written name=\"value\"",
               "Show ended: the script could not be read."});
}

TEST_F(PlayerTest, ErrorTextWithItsOwnLineBreakIsLoggedAsItStands)
{
    writeDataFile("script.txt", "<123>");
    const PlayerRun run = runPlayer();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(std::regex_match(
        run.log, std::regex(line(0, R"(Parsing Script \[script\.txt\])") + line(1, R"(XML Error\[123\]\n)") +
                            line(2, escaped("script.txt:1:1: a tag without a name: expected a letter after '<'")) +
                            line(3, escaped("Show ended: the script could not be read.")))))
        << run.log;
}

TEST_F(PlayerTest, TinyScriptIsNotFound)
{
    writeDataFile("script.txt", "<a>");
    const PlayerRun run = runPlayer();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.console.find("Error: file not found"), std::string::npos);
    expectLog(run,
              {"Parsing Script [script.txt]", "couldn't find script.txt", "Show ended: the script could not be read."});
}

TEST_F(PlayerTest, PercentSignInTheScriptNameIsWrittenAsItStands)
{
    const PlayerRun run = runPlayer({"100%s%d.txt"});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.console.find("load[data/100%s%d.txt]\nError: file not found data/100%s%d.txt\n"), std::string::npos)
        << run.console;
    expectLog(run, {"Parsing Script [100%s%d.txt]", "Error: file not found data/100%s%d.txt",
                    "couldn't find 100%s%d.txt", "Show ended: the script could not be read."});
}

TEST_F(PlayerTest, IncludesAreLoadedThroughTheDataFolder)
{
    writeDataFile("script.txt", "<demo><include file=\"part.txt\"/><include file=\"gone.txt\"></include></demo>");
    writeDataFile("part.txt", "<camera id=\"c\"/>");
    const PlayerRun run = runPlayer();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.console.find("load[data/script.txt]\nload[data/part.txt]\nload[data/gone.txt]\n"
                               "Error: file not found data/gone.txt\n"),
              std::string::npos)
        << run.console;
    // The missing file's line reaches the log too.
    expectLogStart(run, {"Parsing Script [script.txt]", "Error: file not found data/gone.txt", "done."});
}

TEST_F(PlayerTest, IncludeLoopEndsWithAnError)
{
    writeDataFile("script.txt", "<demo><include file=\"script.txt\"/></demo>");
    const PlayerRun run = runPlayer();
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    expectLog(run, {"Parsing Script [script.txt]", "ERROR: tag [demo] couldn't be read",
                    "script.txt:1:7: includes nested too deep: do the files include each other?",
                    "Show ended: the script could not be read."});
}

TEST_F(PlayerTest, EachRunTruncatesTheLog)
{
    kxtest::writeFile("log.txt", "a long stale log from an earlier run\r\n" + std::string(5000, 'x') + "\r\n");
    writeDataFile("script.txt", "<demo/>");
    const PlayerRun first = runPlayer();
    expectLogStart(first, {"Parsing Script [script.txt]", "done."});
    const PlayerRun second = runPlayer();
    expectLogStart(second, {"Parsing Script [script.txt]", "done."});
}

TEST_F(PlayerTest, GarbageScriptNeverCrashes)
{
    std::string garbage;
    kxtest::Random random(7);
    for (int i = 0; i < 20000; ++i) garbage.push_back(static_cast<char>(random.next()));
    garbage += "<demo><<<>>>\"\"</x>";
    writeDataFile("script.txt", garbage);
    const PlayerRun run = runPlayer();
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    // The reader stops at the garbage and says so, and where; nothing is
    // played.
    const std::string expected = line(0, escaped("Parsing Script [script.txt]")) + line(1, "ERROR: [^\r]*") +
                                 line(2, R"(script\.txt:\d+:\d+: [^\r]*)") +
                                 line(3, escaped("Show ended: the script could not be read."));
    EXPECT_TRUE(std::regex_match(run.log, std::regex(expected))) << run.log;
    EXPECT_EQ(run.errors.find("Sanitizer"), std::string::npos) << run.errors;
}

TEST_F(PlayerTest, OverlongScriptPathStillExitsZero)
{
    const PlayerRun run = runPlayer({std::string(300, 'p') + ".txt"});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(run.console.rfind("kestrelux (Build: ", 0), 0u);
    // Refused as too long, not cut to another file's name and read.
    expectLog(run, {"Error: script path longer than 255 characters", "Show ended: the script could not be read."});
}

TEST_F(PlayerTest, UnknownOptionsAreWarnedAboutAndThePlayerPlays)
{
    writeDataFile("show.txt", "<demo></demo>");
    const PlayerRun run = runPlayer({"--shiny", "show.txt", "--bogus=1", "extra.txt"});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.errors.find("kestrelux: unknown option --shiny ignored\n"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("kestrelux: unknown option --bogus=1 ignored\n"), std::string::npos) << run.errors;
    EXPECT_EQ(run.errors.find("usage:"), std::string::npos) << run.errors;
    EXPECT_NE(run.console.find("load[data/show.txt]\n"), std::string::npos) << run.console;
    expectLogStart(run, {"Parsing Script [show.txt]", "done."});
}

TEST_F(PlayerTest, ScriptNameThatIsAPathGetsAHint)
{
    writeDataFile("script.txt", "<demo/>");
    kxtest::writeFile("here.txt", "<demo/>");
    const struct {
        const char* name;
        const char* hint; // nullptr: no hint
    } cases[] = {
        {"data/script.txt", "kestrelux: data/script.txt was looked for as data/data/script.txt: script names are "
                            "looked up under data/, so give it as script.txt\n"},
        {"./data/script.txt", "looked up under data/, so give it as script.txt\n"},
        {"here.txt", "kestrelux: here.txt was looked for as data/here.txt: script names are looked up under data/\n"},
        {"missing.txt", nullptr},
        {"script.txt", nullptr},
    };
    for (const auto& c : cases) {
        const PlayerRun run = runPlayer({c.name});
        EXPECT_EQ(run.exitCode, 0) << c.name;
        if (c.hint)
            EXPECT_NE(run.errors.find(c.hint), std::string::npos) << c.name << "\n" << run.errors;
        else
            EXPECT_EQ(run.errors.find("looked up under"), std::string::npos) << c.name << "\n" << run.errors;
    }
}

TEST_F(PlayerTest, CaptureShowsProgressOnStandardError)
{
    writeDataFile("script.txt", R"(<demo width="32" height="32"><create/><load/><run/></demo>)");
    const PlayerRun run = runPlayer({"--capture", "cap", "--fps", "10", "--frames", "3"});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    // Not a terminal: whole lines, the first frame at once, a summary at the end.
    EXPECT_TRUE(std::regex_search(run.errors, std::regex(R"((^|\n)capture: frame 1/3 \(33%\)\n)"))) << run.errors;
    EXPECT_TRUE(
        std::regex_search(run.errors, std::regex(R"(\ncapture: 3 of 3 frames in \d+:\d\d( \([\d.]+ fps\))?\n$)")))
        << run.errors;
    EXPECT_EQ(run.errors.find('\r'), std::string::npos);
}

// The capture folder is made with every missing parent; a name that is
// taken by a file stops the run before anything is read.
TEST_F(PlayerTest, CaptureFolderIsMadeWithItsParentsOrRefused)
{
    writeDataFile("script.txt", R"(<demo width="32" height="32"><create/><load/><run/></demo>)");
    PlayerRun run = runPlayer({"--capture", "out/deep/cap/", "--fps", "10", "--frames", "1"});
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_TRUE(kxtest::fileExists("out/deep/cap/frame_000000.png")) << run.errors;

    kxtest::writeFile("taken", "a file, not a folder");
    std::filesystem::remove("log.txt");
    run = runPlayer({"--capture", "taken/cap", "--fps", "10", "--frames", "1"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("kestrelux: cannot make the capture folder taken/cap"), std::string::npos) << run.errors;
    EXPECT_EQ(run.log.find("Parsing Script"), std::string::npos) << run.log;
}

// Ctrl+C or SIGTERM in the middle of a capture: the whole run ends at the
// next frame, with the log closed and every file in the folder whole.
TEST_F(PlayerTest, StopSignalEndsTheWholeRunCleanly)
{
    writeDataFile("script.txt", R"(
        <demo name="one" width="64" height="48"><create/><load/><run/><markAfterRun/></demo>
        <demo name="two" width="64" height="48"><markSecondDemo/><create/><load/><run/></demo>)");
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig == SIGTERM ? "SIGTERM" : "SIGINT");
        std::filesystem::remove_all("cap");
        // 100 fps: every frame holds exactly 441 samples of sound.
        const auto player = startPlayer({"--capture", "cap", "--fps", "100", "--seconds", "86400"});
        for (int i = 0; i < 6000 && !kxtest::fileExists("cap/frame_000000.png"); ++i) usleep(10000);
        ASSERT_TRUE(kxtest::fileExists("cap/frame_000000.png"));
        kill(player->pid(), sig);
        const PlayerRun run = finishPlayer(*player);
        ASSERT_EQ(run.exitCode, 0) << run.errors;

        // The last line says how the show ended.
        EXPECT_TRUE(std::regex_search(
            run.log,
            std::regex(R"(  \*\*\*\* done\.\r\n[^\n]*  \*\*\*\* Show ended: stopped by SIG[A-Z]+[^\r\n]*\.\r\n$)")))
            << run.log;
        EXPECT_NE(run.log.find("Stopped by SIG"), std::string::npos);
        EXPECT_EQ(run.log.find("[markAfterRun]"), std::string::npos);
        EXPECT_EQ(run.log.find("[markSecondDemo]"), std::string::npos);
        EXPECT_NE(run.errors.find("kestrelux: stopped by SIG"), std::string::npos) << run.errors;

        size_t frames = 0;
        for (const auto& entry : std::filesystem::directory_iterator("cap")) {
            const std::string name = entry.path().filename().string();
            if (name == "audio.wav") continue;
            ++frames;
            EXPECT_EQ(entry.path().extension(), ".png") << name;
            const kxtest::Image image = kxtest::readPng(entry.path().string());
            EXPECT_EQ(image.width, 64) << name;
            EXPECT_EQ(image.height, 48) << name;
        }
        EXPECT_GE(frames, 1u);
        EXPECT_TRUE(kxtest::fileExists(kxtest::frameName("cap", static_cast<int>(frames) - 1)));

        const std::string wav = readFile("cap/audio.wav");
        ASSERT_GE(wav.size(), 44u);
        auto le32 = [&](size_t at) {
            return size_t(uint8_t(wav[at])) | size_t(uint8_t(wav[at + 1])) << 8 | size_t(uint8_t(wav[at + 2])) << 16 |
                   size_t(uint8_t(wav[at + 3])) << 24;
        };
        EXPECT_EQ(wav.compare(0, 4, "RIFF"), 0);
        EXPECT_EQ(le32(4), wav.size() - 8);
        EXPECT_EQ(wav.compare(36, 4, "data"), 0);
        EXPECT_EQ(le32(40), wav.size() - 44);
        EXPECT_EQ(le32(40), frames * 441 * 4);
    }
}

namespace {

// Whether a process runs (a zombie waiting to be reaped does not).
bool running(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

} // namespace

// A player that a test started never outlives it: it ends at its own
// deadline, and with the test's process however that ends.
TEST_F(PlayerTest, APlayerEndsAtItsDeadlineAndWithItsTest)
{
    writeDataFile("script.txt", R"(<demo width="64" height="48"><create/><load/><run/></demo>)");
    kxtest::PlayerProcess::Options options;
    options.deadlineSeconds = 2;
    const auto started = std::chrono::steady_clock::now();
    kxtest::PlayerProcess player(options);
    EXPECT_EQ(player.wait(), 124);
    EXPECT_FALSE(player.killed());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_NE(readFile("console.txt").find("KESTRELUX_TEST_DEADLINE of 2 s passed"), std::string::npos);

    // A test process that dies at once, leaving its player behind.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t test = fork();
    if (test == 0) {
        close(fds[0]);
        kxtest::PlayerProcess::Options longer;
        longer.deadlineSeconds = 600;
        auto* orphan = new kxtest::PlayerProcess(longer);
        const pid_t pid = orphan->pid();
        if (write(fds[1], &pid, sizeof pid) != sizeof pid) _exit(2);
        usleep(500000);
        _exit(1);
    }
    close(fds[1]);
    pid_t orphan = 0;
    ASSERT_EQ(read(fds[0], &orphan, sizeof orphan), static_cast<ssize_t>(sizeof orphan));
    close(fds[0]);
    waitpid(test, nullptr, 0);
    for (int i = 0; i < 100 && running(orphan); ++i) usleep(20000);
    EXPECT_FALSE(running(orphan)) << "the player outlived its test";
    if (running(orphan)) kill(orphan, SIGKILL);
}

// Ctrl+C in the middle of a video capture: the video holds what was
// rendered, picture and sound of the same length, and nothing else is left.
TEST_F(PlayerTest, StopSignalLeavesAPlayableVideo)
{
    writeDataFile("script.txt", R"(
        <demo name="one" width="64" height="48"><create/><load/><run/></demo>)");
    const auto player = startPlayer({"--capture", "cap.mp4", "--fps", "25", "--seconds", "86400"});
    // Some frames into the encoder first.
    for (int i = 0; i < 6000 && kxtest::readFile(kErrPath).find("capture: frame 1/") == std::string::npos; ++i)
        usleep(10000);
    usleep(500000);
    kill(player->pid(), SIGINT);
    const PlayerRun run = finishPlayer(*player);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_NE(run.errors.find("kestrelux: stopped by SIGINT"), std::string::npos) << run.errors;

    const kxtest::StreamInfo v = kxtest::probeStream("cap.mp4", "v:0"), a = kxtest::probeStream("cap.mp4", "a:0");
    EXPECT_EQ(v.codec, "h264");
    EXPECT_GE(v.frames, 2);
    EXPECT_EQ(a.codec, "aac");
    // Within one frame.
    EXPECT_NEAR(a.duration, v.frames / 25.0, 0.04) << v.frames << " frames";
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(".")) files += entry.is_regular_file();
    EXPECT_EQ(files, 2u) << "cap.mp4 and log.txt only";
}
