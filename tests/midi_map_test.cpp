// The <midi> map: which elements it takes, and what channel messages make.
#include "common/media/stream.h"
#include "common/script/xml_tag.h"
#include "player/controllers/midi_map.h"
#include "player/script_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The actions as text: "press A", "set tune volume 0.5", "bank 2".
std::vector<std::string> describe(const std::vector<controllers::sAction>& actions)
{
    std::vector<std::string> out;
    for (const auto& a : actions) {
        if (a.kind == controllers::sAction::eKind::press)
            out.push_back(std::string("press ") + char(a.key));
        else if (a.kind == controllers::sAction::eKind::set)
            out.push_back("set " + a.effect + " " + a.attribute + " " + a.value);
        else
            out.push_back("other");
    }
    return out;
}

} // namespace

TEST(MidiMap, ElementsAreCheckedAndMessagesMapByNumberAndChannel)
{
    const std::string text = R"(<midi note="36" key="A"/>
        <midi note="36" channel="10" key="B"/>
        <midi cc="7" effect="tune" param="volume" min="-1" max="1"/>
        <midi cc="8" channel="16" effect="flash" param="alpha"/>
        <midi note="128" key="C"/>
        <midi note="40"/>
        <midi cc="9" effect="tune"/>
        <midi cc="10" effect="tune" param="volume" max="loud"/>
        <midi note="1" cc="1" key="D"/>
        <midi channel="0" note="2" key="E"/>
        <midi note="3" key=""/>)";
    cXmlTag root;
    cMemoryStream source(text.data(), static_cast<int>(text.size()));
    ASSERT_EQ(parse(&root, source), 0);
    controllers::cMidiMap map;
    std::vector<bool> taken;
    for (const cXmlTag* tag : root.children()) taken.push_back(map.add(tag));
    EXPECT_EQ(taken, (std::vector<bool>{true, true, true, true, false, false, false, false, false, false, false}));

    struct tCase {
        uint8_t status, data1, data2;
        std::vector<std::string> made;
    } cases[] = {
        {0x90, 36, 100, {"press A"}},          // channel 1: only the any-channel note
        {0x99, 36, 1, {"press A", "press B"}}, // channel 10: both, in script order
        {0x99, 36, 0, {}},                     // velocity 0 is a note-off
        {0x89, 36, 100, {}},                   // a note-off
        {0xB3, 7, 0, {"set tune volume -1"}},
        {0xB3, 7, 64, {"set tune volume 0.008"}},
        {0xB3, 7, 127, {"set tune volume 1"}},
        {0xBF, 8, 127, {"set flash alpha 1"}}, // channel 16, default range 0..1
        {0xBE, 8, 127, {}},                    // channel 15
        {0xE0, 7, 64, {}},                     // pitch bend
        {0x90, 37, 100, {}},                   // a note nobody maps
    };
    for (const tCase& c : cases)
        EXPECT_EQ(describe(map.translate(c.status, c.data1, c.data2, "test")), c.made)
            << int(c.status) << " " << int(c.data1);
}
