// OSC through a real UDP socket into the running player: keys, banks and
// attribute changes reach the show and its key log, bad input and bad
// settings are one log line each, and a performance recorded in capture
// mode replays from its key log frame for frame.
#include "osc_builder.h"
#include "player_runner.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <chrono>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace kxtest;

// A show of one clear colour with the pixel probe, key A in banks 0 and 2.
std::string show(const std::string& demoAttributes, const std::string& events = "")
{
    return R"(<demo name="osc" width="64" height="48" )" + demoAttributes + R"(>
        <loadplugin file="lumafold.dll"/><loadplugin file="kxtest_pixel.so"/>
        <add type="clear" name="bg"/><bg color="ff000000"/>
        <add type="pixel" name="probe"/>
        <draworder effect="bg" effect="probe"/>
        <event key="A" bank="0"><bg color="ff102030"/></event>
        <event key="A" bank="2"><bg color="ff203040"/></event>
        )" +
           events + R"(
        <create/><load/><run/>
    </demo>)";
}

// Waits until `file` holds `text` `times` times; false when the player ended
// first or after a minute.
bool waitFor(PlayerProcess& player, const std::string& file, const std::string& text, size_t times = 1)
{
    for (int i = 0; i < 3000; ++i) {
        if (count(readFile(file), text) >= times) return true;
        if (player.ended()) return count(readFile(file), text) >= times;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

PlayerProcess::Options options(const std::string& args)
{
    PlayerProcess::Options o;
    o.args = words(args);
    o.deadlineSeconds = 120;
    return o;
}

class OscRun : public ::testing::Test {
protected:
    TempDir dir;
    OscSender osc;
};

TEST_F(OscRun, KeysBankAndSetDriveTheShowBadInputIsOneLinePerKindAndAReloadKeepsTheListener)
{
    const int port = freeUdpPort();
    ASSERT_GT(port, 0);
    const std::string at = "127.0.0.1:" + std::to_string(port);
    writeDataFile("script.txt", show("osc=\"" + std::to_string(port) + "\""));
    PlayerProcess player(options(""));
    ASSERT_TRUE(waitFor(player, "console.txt", "probe: pixel 000000")) << readFile("console.txt");
    ASSERT_TRUE(waitFor(player, "log.txt", "OSC: listening on " + at + " (this computer only)")) << readFile("log.txt");

    // Each step and the colour the show then draws.
    struct Step {
        const char* what;
        std::vector<std::string> packets;
        const char* pixel;
    } steps[] = {
        {"a key as a string", {OscMessage("/kestrelux/key").s("A")}, "102030"},
        {"an attribute", {OscMessage("/kestrelux/set").s("bg").s("color").s("ff405060")}, "405060"},
        {"a bank, then a key code in a bundle",
         {oscBundle({OscMessage("/kestrelux/bank").i(2)}), OscMessage("/kestrelux/key").i('A')},
         "203040"},
        {"garbage of every kind, twice, then an attribute",
         {OscMessage("/nowhere").i(1), OscMessage("/nowhere").i(2), OscMessage("/kestrelux/key").f(1),
          OscMessage("/kestrelux/bank").s("x"), "garbage!", std::string("\0\0\0\x10/x\0\0", 8),
          oscBundle({oscString("#bundle") + oscInt(0) + oscInt(1) + oscInt(0xFFFFFFFC)}),
          OscMessage("/kestrelux/set").s("bg").s("color").i(0xff506070)},
         "-" /* the integer as decimal text: whatever clear makes of it, a change */},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const std::string before = readFile("console.txt");
        for (const std::string& p : step.packets) ASSERT_TRUE(osc.send(port, p));
        if (step.pixel[0] != '-') {
            EXPECT_TRUE(waitFor(player, "console.txt", std::string("probe: pixel ") + step.pixel));
        } else {
            ASSERT_TRUE(waitUntilRead(port));
        }
    }
    const std::string log = readFile("log.txt");
    EXPECT_EQ(count(log, "OSC: ignored a message to an address the player does not answer (/nowhere)"), 1u) << log;
    EXPECT_EQ(count(log, "OSC: ignored a message with arguments the player cannot use"), 1u) << log;
    EXPECT_EQ(count(log, "OSC: ignored a packet that is not OSC"), 1u) << log;
    EXPECT_EQ(count(log, "OSC: ignored"), 3u) << log;

    // The key log: both presses with their banks, the bank, the colour.
    const std::string keys = readFile("keylog.txt");
    EXPECT_EQ(count(keys, "bank=\"0\" trigger=\"A\""), 1u) << keys;
    EXPECT_EQ(count(keys, "bank=\"2\" trigger=\"A\""), 1u) << keys;
    EXPECT_EQ(count(keys, "<keybank set=\"2\"/>"), 1u) << keys;
    EXPECT_EQ(count(keys, "<bg color=\"ff405060\"/>"), 1u) << keys;

    // A reload asking for another port keeps the listener, and says so.
    writeDataFile("script.txt", show("osc=\"" + std::to_string(port + 1) + "\""));
    ASSERT_TRUE(waitFor(player, "log.txt", "reload: show rebuilt")) << readFile("log.txt");
    EXPECT_TRUE(waitFor(player, "log.txt", "the player keeps listening on " + at)) << readFile("log.txt");
    ASSERT_TRUE(osc.send(port, OscMessage("/kestrelux/set").s("bg").s("color").s("ff0a0b0c")));
    EXPECT_TRUE(waitFor(player, "console.txt", "probe: pixel 0a0b0c"));

    player.stop();
    EXPECT_EQ(count(readFile("log.txt"), "OSC: stopped listening (13 packets read)"), 1u) << readFile("log.txt");
    EXPECT_EQ(count(readFile("log.txt"), "OSC: listening on"), 1u);
}

TEST_F(OscRun, BadSettingsAndAPortInUseAreOneLogLineAndTheShowPlays)
{
    const int taken = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof at;
    ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(getsockname(taken, reinterpret_cast<sockaddr*>(&at), &size), 0);
    const std::string busy = std::to_string(ntohs(at.sin_port));
    const std::string free = std::to_string(freeUdpPort());

    struct Case {
        const char* what;
        std::string options, attributes, line;
    } cases[] = {
        {"not a port", "", "osc=\"90x\"", "OSC: osc= \"90x\" is not a port number (1 to 65535): no OSC input"},
        {"not a port on the command line", "--osc 70000", "",
         "OSC: --osc \"70000\" is not a port number (1 to 65535): no OSC input"},
        {"the command line wins", "--osc " + free, "osc=\"90x\"", "OSC: listening on 127.0.0.1:" + free + " ("},
        {"not an address", "", "osc=\"" + free + "\" oscbind=\"my.host\"",
         "OSC: oscbind=\"my.host\" is not an IPv4 address such as 127.0.0.1 or 0.0.0.0: no OSC input"},
        {"every address", "", "osc=\"" + free + "\" oscbind=\"0.0.0.0\"",
         "OSC: listening on 0.0.0.0:" + free + ": other computers that reach this address can drive the show"},
        {"a port in use", "", "osc=\"" + busy + "\"", "OSC: cannot listen on 127.0.0.1:" + busy + " ("},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeDataFile("script.txt", show(c.attributes));
        const PlayerResult r = runPlayer("--capture out --fps 10 --frames 3 " + c.options);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_TRUE(fileExists(frameName("out", 2))) << r.out;
        const std::string log = readFile("log.txt");
        EXPECT_EQ(count(log, c.line), 1u) << log;
        EXPECT_EQ(count(log, "OSC: "), count(log, "OSC: listening") ? 2u : 1u) << log; // and its stop line
    }
    close(taken);
}

// The colour of the centre pixel of each captured frame, as "rrggbb".
std::vector<std::string> frameColours(const std::string& folder, int frames)
{
    std::vector<std::string> out;
    for (int i = 0; i < frames; ++i) {
        const Image img = readPng(frameName(folder, i));
        if (img.rgb.empty()) return out;
        char text[8];
        const std::vector<int> p = img.at(img.width / 2, img.height / 2);
        std::snprintf(text, sizeof text, "%02x%02x%02x", p[0], p[1], p[2]);
        out.push_back(text);
    }
    return out;
}

TEST_F(OscRun, APerformanceCapturedFromOscReplaysFromItsKeyLogOnTheSameFrames)
{
    // The probe holds the frames its four events fire on until the test has
    // sent what it plays there: the actions are taken at the start of the
    // next frame.
    const std::string gates = R"(<event time="0.5"><probe hold="1"/></event>
        <event time="1.0"><probe hold="2"/></event>
        <event time="1.5"><probe hold="3"/></event>
        <event time="2.0"><probe hold="4"/></event>)";
    const int port = freeUdpPort();
    writeDataFile("script.txt", show("", gates));
    PlayerProcess live(options("--capture live --fps 10 --frames 26 --osc " + std::to_string(port)));
    const std::vector<std::vector<std::string>> performance = {
        {OscMessage("/kestrelux/key").s("A")},
        {OscMessage("/kestrelux/bank").i(2)},
        {OscMessage("/kestrelux/key").i('A')},
        // Two values in one frame: one record, the last value.
        {OscMessage("/kestrelux/set").s("bg").s("color").s("ff405060"),
         OscMessage("/kestrelux/set").s("bg").s("color").s("ff506070")},
    };
    for (size_t gate = 0; gate < performance.size(); ++gate) {
        const std::string n = std::to_string(gate + 1);
        ASSERT_TRUE(waitFor(live, "console.txt", "probe: holding " + n)) << readFile("console.txt");
        for (const std::string& p : performance[gate]) ASSERT_TRUE(osc.send(port, p));
        ASSERT_TRUE(waitUntilRead(port));
        writeFile("open-" + n, "");
    }
    ASSERT_EQ(live.wait(), 0) << readFile("console.txt");

    // The colours in the order played, each from the frame after its gate
    // (frame k stands at show time k / 10 only to float precision, so which
    // frame an event at 0.5 fires on is left to the replay to match).
    const std::vector<std::string> played = frameColours("live", 26);
    ASSERT_EQ(played.size(), 26u);
    std::vector<std::string> runs;
    for (const std::string& c : played)
        if (runs.empty() || runs.back() != c) runs.push_back(c);
    EXPECT_EQ(runs, (std::vector<std::string>{"000000", "102030", "203040", "506070"}));

    const std::string keys = readFile("keylog.txt");
    EXPECT_EQ(count(keys, "<event time="), 4u) << keys;
    EXPECT_EQ(count(keys, "<event time=\"0.6\" bank=\"0\" trigger=\"A\">"), 1u) << keys;
    EXPECT_EQ(count(keys, "<event time=\"1.1\">\n\t\t<keybank set=\"2\"/>"), 1u) << keys;
    EXPECT_EQ(count(keys, "<event time=\"1.6\" bank=\"2\" trigger=\"A\">"), 1u) << keys;
    EXPECT_EQ(count(keys, "<event time=\"2.1\">\n\t\t<bg color=\"ff506070\"/>"), 1u) << keys;

    // Pasted into the script, played again without OSC (the gates stay
    // open): the same frames.
    writeDataFile("script.txt", show("", gates + keys));
    std::remove("keylog.txt");
    const PlayerResult replay = runPlayer("--capture replay --fps 10 --frames 26");
    ASSERT_EQ(replay.status, 0) << replay.out;
    EXPECT_EQ(frameColours("replay", 26), played);
    for (int f = 0; f < 26; ++f)
        EXPECT_EQ(readPng(frameName("replay", f)).rgb, readPng(frameName("live", f)).rgb) << "frame " << f;
    EXPECT_EQ(count(readFile("log.txt"), "OSC:"), 0u);
}

} // namespace
