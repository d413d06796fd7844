// What a person is told about a script that is wrong: the place (file,
// line, column) and what was expected, the warnings for what is ignored,
// --check's output and exit status, the last line of log.txt, and the exit
// status of a run that could show nothing.
#include "player_runner.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace kxtest;

const char* const kLumafold = "<loadplugin file=\"lumafold.dll\"/>\n";

struct sBrokenScript {
    const char* label;
    std::string script;            // data/script.txt
    std::string other;             // another data file, "name:text", when not empty
    int status;                    // of --check
    std::vector<std::string> says; // each a whole line of --check's output
};

TEST(ScriptMessages, CheckGivesThePlaceAndWhatWasExpected)
{
    const std::string add = std::string(kLumafold) + "  <add type=\"clear\" name=\"bg\"/>\n";
    const sBrokenScript cases[] = {
        {"unquoted value",
         "<demo>\n" + add + "  <bg color=ff000000/>\n</demo>\n",
         "",
         2,
         {"kestrelux: ERROR: tag [demo] couldn't be read", "script.txt:4:13: the value of color must be in quotes"}},
        {"comment",
         "<demo>\n  <!-- my first show -->\n" + add + "</demo>\n",
         "",
         2,
         {"script.txt:5:1: </demo> does not close the open tag <my> (script.txt:2:3): expected </my>",
          "script.txt:2:3: the player does not read <!-- comments -->: it takes one for a tag; remove it"}},
        {"end tag missing",
         "<demo>\n  <camera name=\"c\">\n</demo>\n",
         "",
         2,
         {"script.txt:3:1: </demo> does not close the open tag <camera> (script.txt:2:3): expected </camera>"}},
        {"closing quote missing",
         "<demo>\n  <add type=\"clear\" name=\"bg/>\n</demo>\n",
         "",
         2,
         {"script.txt:2:26: the value of name has no closing quote"}},
        {"fault in an included file",
         "<demo>\n  <include file=\"part.txt\"></include>\n</demo>\n",
         "part.txt:\n\n  <add type\"clear\"/>\n",
         2,
         {"part.txt:3:12: a '\"' where an attribute name was expected: attributes are written name=\"value\""}},
        {"misspelt command",
         "<demo>\n" + add + "  <draworde effect=\"bg\"/>\n</demo>\n",
         "",
         1,
         {"script.txt:4:3: warning: <draworde> is neither a command nor an effect's name and is ignored; did you "
          "mean <draworder>?",
          "script.txt: 0 errors, 1 warning"}},
        {"attributes before add",
         "<demo>\n" + std::string(kLumafold) +
             "  <fl color=\"ffff0000\"/>\n  <add type=\"flash\" name=\"fl\"/>\n</demo>\n",
         "",
         1,
         {"script.txt:3:3: warning: <fl> comes before the <add> that makes fl (script.txt:4:3): its attributes are "
          "ignored; move it after the add"}},
        {"texture before create",
         "<demo>\n" + std::string(kLumafold) +
             "  <add type=\"fontcool\" name=\"txt\"/><txt texture=\"t.tga\"/>\n  <create/>\n</demo>\n",
         "textures/t.tga:not read by --check",
         1,
         {"script.txt:3:36: warning: <txt texture=\"t.tga\"> is read before <create>: without a window the texture "
          "cannot be made (the letters come out white); put it after <create>"}},
        {"unknown effect in the draw order and a missing file",
         "<demo>\n" + add + "  <add type=\"picture\" name=\"pic\"/><pic filename=\"gone.tga\"/>\n" +
             "  <draworder effect=\"bg\" effect=\"pics\"/>\n</demo>\n",
         "",
         2,
         {"script.txt:4:35: error: gone.tga not found (looked for data/textures/gone.tga)",
          "script.txt:5:3: error: <draworder> names the effect \"pics\", which no <add> before it makes (effects: bg, "
          "pic); did you mean \"pic\"?",
          "script.txt: 2 errors, 0 warnings"}},
        {"unknown type",
         "<demo>\n" + std::string(kLumafold) + "  <add type=\"flsh\" name=\"fl\"/>\n</demo>\n",
         "",
         2,
         {"script.txt:3:3: error: could not find effect: fl: no library loaded makes the type \"flsh\"; lumafold.dll "
          "makes clear, flash, picture, fontcool, musicplay, shader"}},
        {"an example pasted whole into a show",
         "<demo>\n" + add + "  <draworder effect=\"bg\"/>\n  <add type=\"clear\" name=\"BG\"/>\n" +
             "  <add type=\"flash\" name=\"hit\"/>\n  <draworder effect=\"bg\" effect=\"hit\"/>\n" +
             "  <draworder effect=\"bg\"/>\n  <run/>\n  <draworder effect=\"hit\"/>\n</demo>\n",
         "",
         1,
         {"script.txt:5:3: warning: a second <add> of the name BG (the first: script.txt:3:3): elements named BG and "
          "the draw order reach only the first; give this effect another name",
          "script.txt:8:3: warning: <draworder> replaces the draw order of script.txt:7:3 before the show runs, so "
          "hit is not drawn; name every effect in one draworder",
          "script.txt: 0 errors, 2 warnings"}},
        {"value without quotes before a quoted one",
         "<demo>\n  <camera name=c mode=\"x\"/>\n</demo>\n",
         "",
         1,
         {"script.txt:2:16: warning: the value of name must be in quotes"}},
        {"clean",
         "<demo>\n" + add + "  <draworder effect=\"bg\"/>\n</demo>\n",
         "",
         0,
         {"script.txt: 0 errors, 0 warnings"}},
    };
    for (const sBrokenScript& c : cases) {
        TempDir dir;
        writeDataFile("script.txt", c.script);
        if (!c.other.empty())
            writeDataFile(c.other.substr(0, c.other.find(':')), c.other.substr(c.other.find(':') + 1));
        const PlayerResult r = runPlayer("--check");
        EXPECT_EQ(r.status, c.status) << c.label << "\n" << r.out;
        for (const std::string& line : c.says)
            EXPECT_NE(("\n" + r.out).find("\n" + line + "\n"), std::string::npos) << c.label << ": " << line << "\n"
                                                                                  << r.out;
        // --check plays nothing and leaves log.txt alone.
        EXPECT_FALSE(fileExists("log.txt")) << c.label;
        EXPECT_EQ(r.out.find("load["), std::string::npos) << c.label;
    }
}

TEST(ScriptMessages, ThePlayerSaysItOnTheConsoleAndInTheLog)
{
    TempDir dir;
    writeDataFile("script.txt", "<demo>\n  <clear color=ff000000/>\n</demo>\n");
    PlayerResult r = runPlayer("");
    const std::string place = "script.txt:2:16: the value of color must be in quotes";
    EXPECT_NE(r.out.find("ERROR: tag [demo] couldn't be read\n" + place + "\n"), std::string::npos) << r.out;
    std::string log = readFile("log.txt");
    const size_t own = log.find("ERROR: tag [demo] couldn't be read\r\n");
    EXPECT_NE(own, std::string::npos) << log;
    EXPECT_GT(log.find(place + "\r\n"), own) << log;

    // Warnings and missing files reach log.txt too; the show plays on.
    writeDataFile("script.txt", std::string("<demo width=\"32\" height=\"32\">\n") + kLumafold +
                                    "  <backgrund/>\n  <add type=\"picture\" name=\"p\"/><p filename=\"gone.tga\"/>\n"
                                    "  <add type=\"musicplay\" name=\"m\"/><m filename=\"gone.mod\"/>\n"
                                    "  <draworder effect=\"q\"/>\n  <create/><load/><run/>\n</demo>\n");
    r = runPlayer("--capture cap --fps 10 --frames 2");
    EXPECT_EQ(r.status, 0) << r.out;
    log = readFile("log.txt");
    for (const char* line :
         {"script.txt:3:3: warning: <backgrund> is neither a command nor an effect's name and is "
          "ignored",
          "XML Error: DrawOrder\r\n", "script.txt:6:3: draworder: no effect is named \"q\" (effects: p, m)",
          "Error: file not found data/textures/gone.tga",
          "musicplay: gone.mod not found (looked for data/music/gone.mod)"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
        // The player's own log lines stay in the log; the rest is on the console too.
        if (std::string(line).rfind("XML Error", 0) != 0) {
            EXPECT_NE(r.out.find(line), std::string::npos) << line;
        }
    }
    EXPECT_EQ(r.out.find("could not be played"), std::string::npos) << r.out;
}

TEST(ScriptMessages, LogEndsWithHowTheShowEnded)
{
    struct Case {
        const char* script;
        const char* args;
        const char* last;
    };
    const Case cases[] = {
        {"<demo width=\"32\" height=\"32\"><create/><load/><run/></demo>", "--capture cap --fps 10 --frames 2",
         "Show ended: the capture was complete."},
        {"<demo width=\"32\" height=\"32\"><create/><load/><event time=\"0.15\"><exit/></event><run/></demo>", "",
         "Show ended: the script's exit command."},
        {"<demo><camera name=\"c\"/></demo>", "", "Show ended: the end of the script."},
        {"<demo><a></demo>", "", "Show ended: the script could not be read."},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeDataFile("script.txt", c.script);
        runPlayer(c.args);
        const std::string log = readFile("log.txt");
        const std::string end = std::string(c.last) + "\r\n";
        ASSERT_GE(log.size(), end.size()) << c.script;
        EXPECT_EQ(log.substr(log.size() - end.size()), end) << c.script << "\n" << log;
    }
}

TEST(ScriptMessages, RunsThatCanShowNothingExitNonZero)
{
    struct Case {
        const char* label;
        const char* script; // empty: no script at all
        const char* args;
        const char* env;
        int status;
        const char* says;
    };
    const std::string longPath = std::string(300, 'x') + ".txt --capture cap --fps 10 --frames 2";
    const Case cases[] = {
        {"capture of a script that cannot be read", "<demo><a></demo>", "--capture cap --fps 10 --frames 2", "", 1,
         "capture: 0 frames written"},
        {"capture of a missing script", "", "--capture cap --fps 10 --frames 2", "", 1, "capture: 0 frames written"},
        {"capture of a script whose path is too long", "", longPath.c_str(), "", 1, "capture: 0 frames written"},
        {"capture of a show that draws no frame", "<demo><camera name=\"c\"/></demo>",
         "--capture cap --fps 10 --frames 2", "", 1, "capture: 0 frames written"},
        {"capture of a show", "<demo width=\"32\" height=\"32\"><create/><load/><run/></demo>",
         "--capture cap --fps 10 --frames 2", "", 0, "capture: 2 of 2 frames"},
        {"window without a display", "<demo width=\"32\" height=\"32\"><create/><load/><run/></demo>", "",
         "WAYLAND_DISPLAY= SDL_VIDEODRIVER= DISPLAY=", 1, "use --capture"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        if (*c.script) writeDataFile("script.txt", c.script);
        const PlayerResult r = runPlayer(c.args, c.env);
        EXPECT_EQ(r.status, c.status) << c.label << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.label << "\n" << r.out;
        // No half-made folder is left to be taken for a capture.
        if (c.status != 0) {
            EXPECT_FALSE(fileExists("cap")) << c.label;
        }
    }
    TempDir dir;
    writeDataFile("script.txt", "<demo width=\"32\" height=\"32\"><create/><load/><run/></demo>");
    const PlayerResult r = runPlayer("", "WAYLAND_DISPLAY= SDL_VIDEODRIVER= DISPLAY=");
    EXPECT_NE(r.out.find("Window Creation Error."), std::string::npos) << r.out;
}

TEST(ScriptMessages, CheckExitStatusForTheBundledShowAndAMissingScript)
{
    TempDir dir;
    std::filesystem::copy(KX_BUNDLED_DATA_DIR, "data", std::filesystem::copy_options::recursive);
    PlayerResult r = runPlayer("--check");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("script.txt: 0 errors, 0 warnings\n"), std::string::npos) << r.out;
    r = runPlayer("--check nothere.txt");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("couldn't find nothere.txt"), std::string::npos) << r.out;
}

} // namespace
