// The nearest known name offered for an unknown element: a slip of the
// keyboard is named, an unrelated word is not.
#include "player/script_check.h"

#include <gtest/gtest.h>

namespace {

TEST(NearestName, NamesSlipsOfTheKeyboardOnly)
{
    const std::vector<std::string> commands = {"keybank", "draworder", "add",        "texture", "camera", "surface",
                                               "event",   "create",    "loadplugin", "load",    "run",    "exit"};
    struct Case {
        const char* name;
        std::vector<std::string> known;
        const char* nearest;
    };
    const Case cases[] = {
        {"draworde", commands, "draworder"},   // a letter missing
        {"loadplugn", commands, "loadplugin"}, // a letter missing inside
        {"DRAWORDE", commands, "draworder"},   // case does not count
        {"creaet", commands, "create"},        // two letters swapped
        {"bakc", {"back", "beat"}, "back"},    // swapped in a short name
        {"backgrond", {"background", "beat"}, "background"},
        {"evnet", commands, "event"},
        {"loadd", commands, "load"}, // nearer load than loadplugin
        {"note2", commands, ""},     // nothing close
        {"xyz", commands, ""},       // three edits from "add": too far for three letters
        {"run", commands, ""},       // a known name is not a slip
        {"ab", {"cd"}, ""},
        {"anything", {}, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(nearestName(c.name, c.known), c.nearest) << c.name;
}

} // namespace
