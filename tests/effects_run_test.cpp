// Plug-ins and the standard clear and flash effects, run in the real player
// in capture mode and read back frame by frame.
#include "player_runner.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace kxtest;

// A show of 32 x 32 pixels: the given commands, then create, load and run.
std::string show(const std::string& body, const std::string& demoParams = "")
{
    return "<demo name=\"fx\" width=\"32\" height=\"32\" " + demoParams + ">\n" + body +
           "\n<create/><load/><run/></demo>\n";
}

class EffectsRun : public ::testing::Test {
protected:
    // Plays the show and returns its frames' centre pixels.
    std::vector<std::vector<int>> centres(const std::string& script, int frames, int fps = 100)
    {
        writeDataFile("script.txt", script);
        result = runPlayer("--capture cap --fps " + std::to_string(fps) + " --frames " + std::to_string(frames));
        EXPECT_EQ(result.status, 0) << result.out;
        std::vector<std::vector<int>> out;
        for (int i = 0; i < frames; ++i) {
            const Image img = readPng(frameName("cap", i));
            EXPECT_EQ(img.width, 32) << "frame " << i;
            out.push_back(img.width ? img.at(16, 16) : std::vector<int>{-1, -1, -1});
        }
        return out;
    }
    std::string log() { return readFile("log.txt"); }

    TempDir dir;
    PlayerResult result;
};

const char* kLumafold = "<loadplugin file=\"lumafold.dll\"/>";

TEST_F(EffectsRun, ClearColourAndBufferSwitches)
{
    auto px = centres(show(std::string(kLumafold) + R"(
        <add type="clear" name="bg"/><bg color="ff102030"/>
        <draworder effect="bg"/>)"),
                      2);
    EXPECT_EQ(px[1], (std::vector<int>{16, 32, 48}));

    // cbuf 0 keeps the picture: a first clear paints red, the second clears
    // only depth; with a flash on top we see the colour buffer survive.
    px = centres(show(std::string(kLumafold) + R"(
        <add type="clear" name="red"/><red color="ffff0000"/>
        <add type="clear" name="keep"/><keep color="ff00ff00" cbuf="0" zbuf="1"/>
        <draworder effect="red" effect="keep"/>)"),
                 2);
    EXPECT_EQ(px[1], (std::vector<int>{255, 0, 0}));
}

TEST_F(EffectsRun, TrailModeDarkensThePreviousFrameByHalf)
{
    // Frame 0: a white clear; from then on only the trail clear runs.
    auto px = centres(show(std::string(kLumafold) + R"(
        <add type="clear" name="white"/><white color="ffffffff"/>
        <add type="clear" name="trail"/><trail trailval="0.5"/>
        <draworder effect="white"/>
        <event time="0.005"><draworder effect="trail"/></event>)"),
                      4);
    EXPECT_EQ(px[0], (std::vector<int>{255, 255, 255}));
    for (int f = 1; f < 4; ++f)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(px[f][c], px[f - 1][c] / 2.0, 1.5) << "frame " << f;
}

TEST_F(EffectsRun, FlashEnvelopeFrameByFrame)
{
    // At 100 frames per second every frame is a step of 1.0.
    auto px = centres(show(std::string(kLumafold) + R"(
        <add type="clear" name="bg"/>
        <add type="flash" name="fl"/>
        <draworder effect="bg" effect="fl"/>
        <event time="0"><fl><go/></fl></event>)"),
                      12);
    const double expected[] = {0.3, 0.6, 0.9, 1.2, 1.2, 1.2, 0.9, 0.6, 0.3, 0.0, 0.0, 0.0};
    for (int f = 0; f < 12; ++f) EXPECT_NEAR(px[f][0], std::min(255.0, expected[f] * 255.0), 1.5) << "frame " << f;
}

TEST_F(EffectsRun, AFiredFlashIsSeenAtLowFrameRates)
{
    // At 30 fps and fewer one frame's step passes the whole envelope: the
    // frame that completes the attack shows the full flash, the next one
    // the decay that ends it.
    for (const int fps : {10, 25, 30}) {
        auto px = centres(show(std::string(kLumafold) + R"(
            <add type="clear" name="bg"/>
            <add type="flash" name="fl"/>
            <draworder effect="bg" effect="fl"/>
            <event time="0"><fl><go/></fl></event>)"),
                          3, fps);
        EXPECT_EQ(px[0], (std::vector<int>{255, 255, 255})) << fps << " fps";
        EXPECT_EQ(px[1], (std::vector<int>{0, 0, 0})) << fps << " fps";
    }
}

TEST_F(EffectsRun, MultiplicativeAndInvertingFlashes)
{
    // Mode 1 with no flash running blacks out what was drawn before it.
    auto px = centres(show(std::string(kLumafold) + R"(
        <add type="clear" name="bg"/><bg color="ff808080"/>
        <add type="flash" name="fade"/><fade mode="1"/>
        <draworder effect="bg" effect="fade"/>)"),
                      2);
    EXPECT_EQ(px[1], (std::vector<int>{0, 0, 0}));

    // Mode 2 inverts in proportion to the colour: at intensity 0.3 over
    // 0x40, 0x40 + 0.3 * (255 - 2 * 0x40).
    px = centres(show(std::string(kLumafold) + R"(
        <add type="clear" name="bg"/><bg color="ff404040"/>
        <add type="flash" name="inv"/><inv mode="2"/>
        <draworder effect="bg" effect="inv"/>
        <event time="0"><inv><go/></inv></event>)"),
                 1);
    EXPECT_NEAR(px[0][0], 64 + 0.3 * (255 - 128), 2.0);
}

TEST_F(EffectsRun, FlashFiredByAKeyEvent)
{
    auto px = centres(show(std::string(kLumafold) + R"(
        <add type="clear" name="bg"/>
        <add type="flash" name="fl"/><fl color="ff0000ff"/>
        <draworder effect="bg" effect="fl"/>
        <event key="F"><fl><go/></fl></event>
        <event time="0.02" trigger="F"/>)"),
                      5);
    // The timed event presses F at the start of frame 2 (clock 0.02).
    EXPECT_EQ(px[1][2], 0);
    EXPECT_NEAR(px[2][2], 0.3 * 255, 1.5);
    EXPECT_NEAR(px[3][2], 0.6 * 255, 1.5);
}

TEST_F(EffectsRun, InactiveEffectsAreSkippedAndComeBack)
{
    auto px = centres(show(std::string(kLumafold) + R"(
        <add type="clear" name="black"/>
        <add type="clear" name="blue"/><blue color="ff0000ff" active="0"/>
        <draworder effect="black" effect="blue"/>
        <event time="0.015"><blue active="1"/></event>)"),
                      3);
    EXPECT_EQ(px[0], (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(px[1], (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(px[2], (std::vector<int>{0, 0, 255}));
}

TEST_F(EffectsRun, InstanceNamesCutToFifteenCharactersAreFoundAgain)
{
    // add keeps "backgroundColou"; the element, the draw order, the loader
    // and the event all name the effect in full.
    auto px = centres(std::string("<demo name=\"fx\" width=\"32\" height=\"32\">") + kLumafold + R"(
        <add type="clear" name="backgroundColourLayer"/>
        <backgroundColourLayer color="ff102030"/>
        <draworder effect="backgroundColourLayer"/>
        <event time="0.015"><BACKGROUNDCOLOURLAYER color="ff405060"/></event>
        <create/><load effect="backgroundColourLayer"/><run/></demo>)",
                      3);
    EXPECT_EQ(px[1], (std::vector<int>{16, 32, 48}));
    EXPECT_EQ(px[2], (std::vector<int>{64, 80, 96}));
    EXPECT_NE(log().find("add: name cut to 15 characters: backgroundColou"), std::string::npos);
    EXPECT_EQ(log().find("XML Error: DrawOrder"), std::string::npos);
    EXPECT_EQ(log().find("Loading effect"), std::string::npos); // it is the loader
}

TEST_F(EffectsRun, LoadOrderDecidesWhichLibraryMakesAType)
{
    writeDataFile("script.txt", show(R"(
        <loadplugin file="kxtest_clear.so"/>
        <loadplugin file="lumafold.so"/>
        <add type="clear" name="first"/>
        <add type="flash" name="second"/>)"));
    result = runPlayer("--capture cap --fps 10 --frames 1");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("probe: unload clear first"), std::string::npos) << result.out;
    EXPECT_NE(log().find("loadlibrary: kxtest_clear.so"), std::string::npos);
    EXPECT_NE(log().find("Loading effect  1:[second][flash]"), std::string::npos);
}

TEST_F(EffectsRun, TeardownDestroysEveryEffectBeforeAnyLibraryUnloads)
{
    writeDataFile("script.txt", show(R"(
        <loadplugin file="kxtest_clear.so"/>
        <loadplugin file="kxtest_params.so"/>
        <add type="clear" name="a"/>
        <add type="params" name="b"/>
        <add type="clear" name="c"/>)"));
    result = runPlayer("--capture cap --fps 10 --frames 1");
    const std::string& o = result.out;
    const size_t lastDelete = o.rfind("probe: delete");
    const size_t firstUnload = o.find("probe: library");
    ASSERT_NE(lastDelete, std::string::npos) << o;
    ASSERT_NE(firstUnload, std::string::npos) << o;
    EXPECT_LT(lastDelete, firstUnload);
    // Each effect: unload, then its destructor, in creation order.
    EXPECT_LT(o.find("probe: unload clear a"), o.find("probe: delete clear a"));
    EXPECT_LT(o.find("probe: delete clear a"), o.find("probe: unload params b"));
    EXPECT_LT(o.find("probe: delete params b"), o.find("probe: unload clear c"));
    // Libraries unload in load order.
    EXPECT_LT(o.find("probe: library clear unloaded"), o.find("probe: library params unloaded"));
}

// However the show ends, its effects unload while their GL context is
// still current: the GL objects they made can only be deleted then.
TEST_F(EffectsRun, EffectsUnloadWhileTheirContextIsCurrentOnEveryExitPath)
{
    const std::string plugin = R"(<loadplugin file="kxtest_context"/><add type="context" name="c"/>)";
    const std::string demo = "<demo name=\"fx\" width=\"32\" height=\"32\">" + plugin;
    // A capture that drew no frame exits with 1.
    const struct {
        const char* path;
        std::string script;
        int status;
    } cases[] = {
        {"the capture's last frame", demo + "<create/><load/><run/></demo>", 0},
        {"exit in an event", demo + R"(<event time="0.05"><exit/></event><create/><load/><run/></demo>)", 0},
        {"Escape pressed by an event", demo + "<event time=\"0.05\" trigger=\"\x1b\"/><create/><load/><run/></demo>", 0},
        {"exit before run", demo + "<create/><load/><exit/><run/></demo>", 1},
        {"the demo's end without run", demo + "<create/><load/></demo>", 1},
    };
#ifdef KX_WIN_TEST_PLUGIN_DIR
    // The Windows program looks for the plug-in in its working folder too.
    std::filesystem::copy_file(KX_WIN_TEST_PLUGIN_DIR "/kxtest_context.dll", "kxtest_context.dll");
#endif
    for (const auto& c : cases) {
        writeDataFile("script.txt", c.script);
        result = runPlayer("--capture cap --fps 10 --frames 5");
        const std::string& o = result.out;
        EXPECT_EQ(result.status, c.status) << c.path;
        EXPECT_NE(o.find("probe: context at load: current\n"), std::string::npos) << c.path << "\n" << o;
        EXPECT_NE(o.find("probe: context at unload: current\n"), std::string::npos) << c.path << "\n" << o;
        EXPECT_EQ(o.find("probe: context at unload: none"), std::string::npos) << c.path << "\n" << o;
    }
}

TEST_F(EffectsRun, ParameterDescriptionIsLogged)
{
    writeDataFile("script.txt",
                  "<demo><loadplugin file=\"kxtest_params.so\"/><add type=\"params\" name=\"p\"/></demo>");
    result = runPlayer("");
    const std::string l = log();
    EXPECT_NE(l.find("effect:paramprobe params:2\n"), std::string::npos) << l;
    EXPECT_NE(l.find("param00 name:path type:camera\n"), std::string::npos);
    EXPECT_NE(l.find("param01 name:mystery type:unknown\n"), std::string::npos);
}

// A plug-in sees the platform layer the player set up: in capture mode it
// may not open dialogs either, so its message box goes to standard error.
TEST_F(EffectsRun, PluginsShareThePlayersPlatformState)
{
    const std::string plugin = R"(<loadplugin file="kxtest_dialog"/><add type="dialog" name="d"/>)";
    const struct {
        std::string script;
        const char* args;
        const char* expected;
    } cases[] = {
        {show(plugin), "--capture cap --fps 10 --frames 1", "probe: interactive 0\n"},
        {"<demo>" + plugin + "<load/></demo>", "", "probe: interactive 1\n"},
    };
    for (const auto& c : cases) {
        writeDataFile("script.txt", c.script);
        result = runPlayer(c.args);
        EXPECT_EQ(result.status, 0) << c.args;
        EXPECT_NE(result.out.find(c.expected), std::string::npos) << c.args << "\n" << result.out;
        EXPECT_NE(result.out.find("[PROBE] a message box from a plug-in\n"), std::string::npos) << result.out;
    }
}

TEST_F(EffectsRun, BadPluginsAndAddsAreLoggedNotFatal)
{
    writeFile("notalib.so", "this is not a library");
    std::string body = R"(
        <loadplugin file="notalib.so"/>
        <loadplugin file="kxtest_nogetfx.so"/>
        <loadplugin file="nowhere.dll"/>
        <loadplugin file="first.so" file="lumafold.so"/>
        <add type="nosuchtype" name="ghost"/>
        <add type="clear" name="AVeryLongInstanceNameOfMoreThanFifteenCharacters0123456789012345678901234567890123456789012345678"/>
        <add type="flashflashflashflashflashflashflash" name="longtype"/>)";
    for (int i = 0; i < 20; ++i) body += "<loadplugin file=\"lumafold.so\"/>";
    for (int i = 0; i < 50; ++i) body += "<add type=\"clear\" name=\"c" + std::to_string(i) + "\"/>";
    body += R"(<ghost/><gl><render active="garbage" color="x,y"/><alpha blendsrc="99999999999"/></gl>)";
    writeDataFile("script.txt", show(body));
    result = runPlayer("--capture cap --fps 10 --frames 2");
    EXPECT_EQ(result.status, 0) << result.out;
    const std::string l = log();
    EXPECT_NE(l.find("ERROR loadlibrary: notalib.so not found"), std::string::npos);
    EXPECT_NE(l.find("ERROR loadlibrary: kxtest_nogetfx.so not found"), std::string::npos);
    EXPECT_NE(l.find("ERROR loadlibrary: nowhere.dll not found"), std::string::npos);
    EXPECT_NE(l.find("loadlibrary: lumafold.so"), std::string::npos);
    EXPECT_EQ(l.find("first.so"), std::string::npos);
    EXPECT_NE(l.find("at most 16 plug-ins"), std::string::npos);
    EXPECT_NE(l.find("could not find effect: ghost"), std::string::npos);
    EXPECT_NE(l.find("could not find effect: longtype"), std::string::npos);
    EXPECT_NE(l.find("[AVeryLongInstan][clear]"), std::string::npos);
    EXPECT_NE(l.find("at most 48 effects"), std::string::npos);
}

TEST_F(EffectsRun, LibraryNamesGetTheSuffixAndReachTheSystemLoader)
{
    // A test plug-in under a name and in a folder that only the system
    // loader's search (here LD_LIBRARY_PATH) knows.
    std::filesystem::create_directories("syslib");
    std::filesystem::copy_file(std::filesystem::path(KX_PLAYER_PATH).parent_path() / "kxtest_params.so",
                               "syslib/kxsysprobe.so");
    writeDataFile("script.txt", R"(<demo>
        <loadplugin file="lumafold"/>
        <loadplugin file="kxsysprobe"/>
        <loadplugin file="kxsysprobe.dll"/>
        <loadplugin file="syslib/kxsysprobe"/>
        <add type="params" name="p"/><add type="clear" name="c"/></demo>)");
    result = runPlayer("", "LD_LIBRARY_PATH=" + (dir.path() / "syslib").string());
    std::string l = log();
    EXPECT_NE(l.find("loadlibrary: lumafold\r\n"), std::string::npos) << l;
    EXPECT_NE(l.find("loadlibrary: kxsysprobe\r\n"), std::string::npos) << l;
    EXPECT_EQ(l.find("ERROR"), std::string::npos) << l;
    EXPECT_NE(l.find("effect:paramprobe params:2"), std::string::npos) << l;
    EXPECT_EQ(l.find("could not find effect"), std::string::npos) << l;

    // Without the library path only the name with a folder finds it; the
    // names without a folder are not looked for in subfolders.
    result = runPlayer("");
    l = log();
    EXPECT_NE(l.find("ERROR loadlibrary: kxsysprobe not found"), std::string::npos) << l;
    EXPECT_NE(l.find("ERROR loadlibrary: kxsysprobe.dll not found"), std::string::npos) << l;
    EXPECT_NE(l.find("loadlibrary: syslib/kxsysprobe\r\n"), std::string::npos) << l;
}

} // namespace
