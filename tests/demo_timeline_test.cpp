// The demo's command lists, timeline, key banks and key log, driven in
// process without a window.
#include "common/effect/effect.h"
#include "common/media/stream.h"
#include "logged_show.h"
#include "player/controllers/controller_input.h"
#include "player/demo.h"
#include "player/log.h"
#include "player/script_reader.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <vector>

namespace {

// Parses a script text into a document.
struct Script {
    cXmlTag root;
    explicit Script(const std::string& text)
    {
        cMemoryStream source(text.data(), static_cast<int>(text.size()));
        EXPECT_EQ(parse(&root, source), 0) << lastError();
    }
    cXmlTag* demo() { return root.firstChild; }
};

// The markers (children named mark...) that the log shows as run, in order.
std::vector<std::string> markersRun()
{
    std::vector<std::string> out;
    const std::string log = kxtest::readFile("log.txt");
    std::regex marker(R"(param \d+\.\d+ \[(mark\w*)\])");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), marker); it != std::sregex_iterator(); ++it)
        out.push_back((*it)[1]);
    return out;
}

size_t count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class DemoTimeline : public kxtest::LoggedShow {
protected:
    // Runs the demo's command list, then one frame per given clock value.
    void playAt(cDemo& demo, Script& script, std::initializer_list<float> clocks)
    {
        demo.doXML(script.demo());
        demo.timeline.sort();
        for (float c : clocks) {
            demo.timeline.clock = c;
            demo.timeline.frameTime = c;
            demo.advanceShow(0);
        }
    }

    kxtest::TempDir dir;
};

TEST_F(DemoTimeline, EventsFireInTimeOrderAndEqualTimesKeepDeclarationOrder)
{
    Script s(R"(<demo>
        <event time="1.0"><markFirstOne/></event>
        <event time="0.5"><markHalf/></event>
        <event time="1.0"><markSecondOne/></event>
        <event><markNoTime/></event>
        <event key="Q"><markKeyOnly/></event>
    </demo>)");
    cDemo demo;
    playAt(demo, s, {0.0f, 0.6f, 2.0f, 3.0f});
    EXPECT_EQ(markersRun(), (std::vector<std::string>{"markNoTime", "markHalf", "markFirstOne", "markSecondOne"}));
    EXPECT_EQ(demo.timeline.events[0]->time, -10.0f); // key events sort first
}

TEST_F(DemoTimeline, EventParamsInOrderDecideKeyAndTime)
{
    Script s(R"(<demo>
        <event key="A" time="2.5" bank="3"/>
        <event time="2.5" key="B"/>
    </demo>)");
    cDemo demo;
    demo.doXML(s.demo());
    ASSERT_EQ(demo.timeline.eventCount, 2);
    EXPECT_EQ(demo.timeline.events[0]->trigger, 'A');
    EXPECT_FLOAT_EQ(demo.timeline.events[0]->time, 2.5f);
    EXPECT_EQ(demo.timeline.events[0]->bank, 3);
    EXPECT_EQ(demo.timeline.events[1]->trigger, 'B');
    EXPECT_FLOAT_EQ(demo.timeline.events[1]->time, -10.0f);
    EXPECT_EQ(demo.timeline.events[1]->bank, -1);
}

TEST_F(DemoTimeline, ReplayReRunsEveryEventUpToTheClockAndStopsAtZero)
{
    Script s(R"(<demo>
        <event time="0.1"><markA/></event>
        <event time="0.2"><markB/></event>
        <event time="5.0"><markLate/></event>
    </demo>)");
    cDemo demo;
    demo.doXML(s.demo());
    demo.timeline.sort();
    auto frameWith = [&](float step) {
        demo.timeline.frameTime = demo.timeline.clock;
        demo.advanceShow(step);
    };

    demo.timeline.clock = 1.0f;
    frameWith(0); // normal path: A, B
    demo.timeline.speed = -100.0f;
    frameWith(0.5f); // clock 1.0 - 0.5 = 0.5: every event up to it again
    EXPECT_NEAR(demo.timeline.clock, 0.5f, 1e-6);
    EXPECT_EQ(demo.timeline.nextEvent, 1);
    EXPECT_EQ(markersRun(), (std::vector<std::string>{"markA", "markB", "markA", "markB"}));

    // Back at speed 1 the last replayed event fires once more.
    demo.timeline.speed = 1.0f;
    frameWith(0);
    EXPECT_EQ(markersRun().size(), 5u);
    EXPECT_EQ(markersRun().back(), "markB");

    // Rewinding past the start stops the clock at zero, where nothing is due.
    demo.timeline.speed = -100.0f;
    frameWith(1.0f);
    EXPECT_EQ(demo.timeline.clock, 0.0f);
    EXPECT_EQ(markersRun().size(), 5u);
}

TEST_F(DemoTimeline, KeyEventsFireInTheirBankOrEveryBank)
{
    Script s(R"(<demo>
        <event key="A" bank="2"><markBankTwo/></event>
        <event key="A"><markAnyBank/></event>
        <event key="B"><keybank set="2"/></event>
    </demo>)");
    cDemo demo;
    demo.doXML(s.demo());
    demo.key('A', true);  // bank 0: only the event without a bank
    demo.key('A', false); // releases fire nothing
    demo.key('B', true);  // to bank 2
    demo.key('A', true);  // both, in list order
    EXPECT_EQ(demo.bank, 2);
    EXPECT_EQ(markersRun(), (std::vector<std::string>{"markAnyBank", "markBankTwo", "markAnyBank"}));
}

TEST_F(DemoTimeline, KeybankClampsOnceAfterAllParams)
{
    cDemo demo;
    auto bankAfter = [&](int start, const char* params) {
        demo.bank = start;
        Script s(std::string("<keybank ") + params + "/>");
        demo.keybank(s.root.firstChild);
        return demo.bank;
    };
    EXPECT_EQ(bankAfter(3, R"(inc="15")"), 10);
    EXPECT_EQ(bankAfter(0, R"(dec="1")"), 0);
    EXPECT_EQ(bankAfter(0, R"(set="4" inc="1")"), 5);
    EXPECT_EQ(bankAfter(5, R"(set="20" dec="15")"), 5); // clamped only at the end
    EXPECT_EQ(bankAfter(5, R"(inc="2147483647" inc="2147483647")"), 10);
    EXPECT_EQ(bankAfter(5, R"(set="banana")"), 0);
}

TEST_F(DemoTimeline, KeyLogRecordIsAReplayableEvent)
{
    cDemo demo;
    demo.bank = 1;
    demo.timeline.frameTime = 12.34f;
    demo.key('A', true);
    demo.key('A', false);
    EXPECT_EQ(kxtest::readTextFile("keylog.txt"), "\t<event time=\"12.3\" bank=\"1\" trigger=\"A\">\n\t</event>\n");
    demo.timeline.frameTime = 0.0f;
    demo.key('5', true);
    EXPECT_EQ(kxtest::readTextFile("keylog.txt"), "\t<event time=\"12.3\" bank=\"1\" trigger=\"A\">\n\t</event>\n"
                                                  "\t<event time=\"0.0\" bank=\"1\" trigger=\"5\">\n\t</event>\n");

    // The log pasted back into a script replays the press at its time.
    Script s("<demo><event key=\"5\"><markReplayed/></event>" + kxtest::readTextFile("keylog.txt") + "</demo>");
    cDemo replay;
    playAt(replay, s, {0.0f});
    EXPECT_EQ(markersRun(), (std::vector<std::string>{"markReplayed"}));
}

TEST_F(DemoTimeline, TriggerPressesAKeyAndBadTriggersAreRefused)
{
    Script s(R"(<demo>
        <event key="K"><markK/></event>
        <event key="L" trigger="L"><markLoop/></event>
        <event time="0"><markTimed/></event>
    </demo>)");
    cDemo demo;
    demo.doXML(s.demo());
    Script t(R"(<x trigger="K"/>)");
    demo.doXML(t.root.firstChild);
    Script empty(R"(<x trigger=""/>)");
    demo.doXML(empty.root.firstChild); // no key, and in particular not the timed events
    Script ring(R"(<x trigger="L"/>)");
    demo.doXML(ring.root.firstChild); // a fragment pressing its own key ends, bounded
    const auto run = markersRun();
    ASSERT_FALSE(run.empty());
    EXPECT_EQ(run[0], "markK");
    EXPECT_EQ(std::count(run.begin(), run.end(), "markTimed"), 0);
    EXPECT_GT(std::count(run.begin(), run.end(), "markLoop"), 0);
    EXPECT_LT(std::count(run.begin(), run.end(), "markLoop"), 100);
}

TEST_F(DemoTimeline, KeysPressingKeysEndWithoutRunningAKeyInsideItself)
{
    auto keyLogRecords = [] { return count(kxtest::readTextFile("keylog.txt"), "</event>"); };

    // A chain A -> B -> C runs; C pressing A again is refused. (A fragment's
    // trigger runs before its children, so the markers come innermost first.)
    Script chain(R"(<demo>
        <event key="A" trigger="B"><markA/></event>
        <event key="B" trigger="C"><markB/></event>
        <event key="C" trigger="A"><markC/></event>
    </demo>)");
    cDemo demo;
    demo.doXML(chain.demo());
    demo.key('A', true);
    ASSERT_EQ(markersRun(), (std::vector<std::string>{"markC", "markB", "markA"}));
    EXPECT_EQ(keyLogRecords(), 3u);
    EXPECT_EQ(count(kxtest::readFile("log.txt"), "key A pressed inside its own handling, not pressed again"), 1u);

    // Two events of L that press L: a ring that branches ends after one
    // round, with one line for each refused press.
    std::remove("keylog.txt");
    Script ring(R"(<demo>
        <event key="L" trigger="L"><markL1/></event>
        <event key="L" trigger="L"><markL2/></event>
        <event time="0" trigger="L"/>
    </demo>)");
    cDemo ringDemo;
    playAt(ringDemo, ring, {0.0f});
    EXPECT_EQ(markersRun(), (std::vector<std::string>{"markC", "markB", "markA", "markL1", "markL2"}));
    EXPECT_EQ(count(kxtest::readFile("log.txt"), "key L pressed inside its own handling"), 2u);
    EXPECT_EQ(keyLogRecords(), 1u);

    // Without a ring, twelve keys each with two events pressing the next
    // would make 4094 presses; one press may make at most 1024.
    std::remove("keylog.txt");
    std::string text = "<demo>";
    for (char k = 'A'; k < 'A' + 12; ++k)
        for (int twice = 0; twice < 2; ++twice)
            text += std::string("<event key=\"") + k + "\" trigger=\"" + char(k + 1) + "\"/>";
    Script tree(text + "</demo>");
    cDemo treeDemo;
    treeDemo.doXML(tree.demo());
    treeDemo.key('A', true);
    EXPECT_EQ(keyLogRecords(), 1u + 1024u);
    EXPECT_EQ(count(kxtest::readFile("log.txt"), "key A pressed more than 1024 keys inside its handling"), 1u);
}

TEST_F(DemoTimeline, SettingsAndSwitchesComeFromTheDemoTag)
{
    Script s(R"(<demo name="my show" width="800" height="600" fullscreen="1" bpp="16"
                 vhs="1" showfps="1" lockfps="25"/>)");
    cDemo demo;
    testing::internal::CaptureStdout();
    demo.doXML(s.demo());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "name: my show\n");
    EXPECT_STREQ(demo.settings.title, "my show");
    EXPECT_EQ(demo.settings.width, 800);
    EXPECT_EQ(demo.settings.height, 600);
    EXPECT_TRUE(demo.settings.fullscreen);
    EXPECT_EQ(demo.settings.colourBits, 16);
    EXPECT_TRUE(gSwitches.vhs);
    EXPECT_TRUE(gSwitches.showfps);
    EXPECT_EQ(gSwitches.lockfps, 25);

    Script bad(
        R"(<demo width="-5" height="999999999" lockfps="-3" name="0123456789012345678901234567890123456789012345678901234567890123456789"/>)");
    testing::internal::CaptureStdout();
    demo.doXML(bad.demo());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(demo.settings.width, 800);
    EXPECT_EQ(demo.settings.height, 600);
    EXPECT_EQ(gSwitches.lockfps, 25);
    EXPECT_EQ(std::strlen(demo.settings.title), 63u);
}

TEST_F(DemoTimeline, PacingAndClockAttributesChooseAndRefuseUnknownValues)
{
    using ePacing = cDemoWindow::ePacing;
    using eSource = cTimeline::eSource;
    struct {
        const char* params;
        ePacing pacing;
        eSource source;
        size_t errors;
    } const cases[] = {
        {"", ePacing::spin, eSource::frames, 0},
        {R"(pacing="sleep" clock="music")", ePacing::sleep, eSource::music, 0},
        {R"(pacing="SLEEP" clock="Music" pacing="spin")", ePacing::spin, eSource::music, 0},
        {R"(pacing="sleep" clock="music" pacing="nap" clock="wall")", ePacing::sleep, eSource::music, 2},
        {R"(pacing="" clock="")", ePacing::spin, eSource::frames, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.params);
        cLog::get()->reset();
        cLog::get()->setFileName("log.txt");
        cLog::get()->setEnabled(true);
        Script s(std::string("<demo ") + c.params + "/>");
        cDemo demo;
        demo.doXML(s.demo());
        EXPECT_EQ(demo.pacing, c.pacing);
        EXPECT_EQ(demo.timeline.source, c.source);
        const std::string log = kxtest::readFile("log.txt");
        EXPECT_EQ(count(log, "is neither spin nor sleep, kept") + count(log, "is neither frames nor music, kept"),
                  c.errors);
    }
}

TEST_F(DemoTimeline, SleepingPacingEndsNoFrameBefore14Milliseconds)
{
    cDemo demo;
    demo.pacing = cDemoWindow::ePacing::sleep;
    demo.cDemoWindow::frame();
    for (int i = 0; i < 5; ++i) {
        const double before = demo.timer->lastFrameEndPrecise;
        demo.cDemoWindow::frame();
        EXPECT_GE(demo.timer->lastFrameEndPrecise - before, 14.0);
    }
}

TEST_F(DemoTimeline, LockfpsFixesTheStep)
{
    gSwitches.lockfps = 25;
    cDemo demo;
    testing::internal::CaptureStdout();
    demo.frame();
    demo.frame();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "lock 0.040000\nlock 0.040000\n");
    EXPECT_NEAR(demo.timeline.clock, 0.0008f, 1e-7);
}

TEST_F(DemoTimeline, EventArrayAndDrawOrderRefuseWhatDoesNotFit)
{
    std::string text = "<demo>";
    for (int i = 0; i < 5000; ++i) text += "<event time=\"" + std::to_string(i) + "\"/>";
    text += "<draworder";
    for (int i = 0; i < 60; ++i) text += " surface=\"main\"";
    text += "/></demo>";
    Script s(text);
    cDemo demo;
    demo.doXML(s.demo());
    EXPECT_EQ(demo.timeline.eventCount, cDemo::kMaxEvents);
    EXPECT_EQ(demo.drawCount, cDemo::kMaxDrawOrder);
    const std::string log = kxtest::readFile("log.txt");
    EXPECT_NE(log.find("at most 4096 events"), std::string::npos);
    EXPECT_NE(log.find("at most 48 entries"), std::string::npos);
}

TEST_F(DemoTimeline, DrawOrderNamingNoEffectIsAnError)
{
    Script s(R"(<demo><draworder surface="MAIN" effect="nothing"/></demo>)");
    cDemo demo;
    demo.doXML(s.demo());
    EXPECT_EQ(demo.drawCount, 1);
    EXPECT_EQ(demo.drawOrder[0].kind, 1);
    EXPECT_NE(kxtest::readFile("log.txt").find("XML Error: DrawOrder"), std::string::npos);
}

} // namespace

namespace {

// An effect that remembers the attributes it was given.
struct cRecordingEffect : cEffect {
    std::vector<std::string> given;
    void update(float) override { }
    int doXML(cXmlTag* element) override
    {
        for (const cXmlParam* p : element->params()) given.push_back(std::string(p->name) + "=" + p->value);
        return 0;
    }
};

} // namespace

TEST_F(DemoTimeline, ControllerActionsPressLikeKeysAndRecordEachAttributeOncePerFrame)
{
    using controllers::sAction;
    Script s(R"(<demo>
        <midi note="36" key="A"/>
        <midi cc="7" channel="2" effect="tune" param="volume" min="0" max="2"/>
        <event key="A"><markA/></event>
        <event key="A" bank="3"><markA3/></event>
    </demo>)");
    cDemo demo;
    auto* tune = new cRecordingEffect;
    std::strcpy(tune->name, "tune");
    demo.effects[demo.effectCount++] = tune;
    playAt(demo, s, {0.0f});

    controllers::cInputQueue& queue = controllers::inputQueue();
    queue.push(sAction::midiMessage(0x90, 36, 100, "MIDI")); // note-on: presses A in bank 0
    queue.push(sAction::midiMessage(0x90, 36, 0, "MIDI"));   // note-off: nothing
    queue.push(sAction::midiMessage(0xB0, 7, 127, "MIDI"));  // channel 1: not mapped
    queue.push(sAction::setBank(3, "OSC"));
    queue.push(sAction::press('A', "OSC"));
    for (int v : {0, 64, 127}) queue.push(sAction::midiMessage(0xB1, 7, uint8_t(v), "MIDI"));
    queue.push(sAction::set("nothing", "volume", "1", "OSC"));
    queue.push(sAction::set("nothing", "volume", "0", "OSC"));
    queue.push(sAction::set("tune", "volume", "say \"hi\"", "OSC"));
    demo.timeline.frameTime = 2.5f;
    demo.handleControllerInput();

    EXPECT_EQ(markersRun(), (std::vector<std::string>{"markA", "markA", "markA3"})); // bank 0, then bank 3
    EXPECT_EQ(tune->given, (std::vector<std::string>{"volume=0", "volume=1.008", "volume=2"}));
    // In the order handled, the bank before the press made in it; the
    // attribute once, with its last value.
    EXPECT_EQ(kxtest::readTextFile("keylog.txt"), "\t<event time=\"2.5\" bank=\"0\" trigger=\"A\">\n\t</event>\n"
                                                  "\t<event time=\"2.5\">\n\t\t<keybank set=\"3\"/>\n\t</event>\n"
                                                  "\t<event time=\"2.5\" bank=\"3\" trigger=\"A\">\n\t</event>\n"
                                                  "\t<event time=\"2.5\">\n\t\t<tune volume=\"2\"/>\n\t</event>\n");
    const std::string log = kxtest::readFile("log.txt");
    EXPECT_EQ(count(log, "OSC: no effect named nothing"), 1u); // said once, though set twice
    EXPECT_NE(log.find("cannot be written in a script"), std::string::npos);
}

TEST(KeyLogTime, TheRecordedTimeReplaysOnTheFrameItWasMadeOn)
{
    struct tCase {
        float now, previous;
        const char* text;
    } cases[] = {
        {12.34f, -1.0f, "12.3"},     // cut, not rounded
        {0.0f, 0.0f, "0.0"},         // the first frame
        {0.3f, 0.2f, "0.3"},         // a tenth apart: one decimal
        {0.29999998f, 0.2f, "0.29"}, // a clock that summed just short of 0.3
        {12.3167f, 12.3f, "12.31"},  // sixty frames a second
        {5.0f, 9.0f, "5.0"},         // scrubbed back: one decimal
        {48.8f, 48.7f, "48.8"},      // a capture frame's start, the float just under 48.8
    };
    for (const tCase& c : cases) {
        const std::string text = keyLogTime(c.now, c.previous);
        EXPECT_EQ(text, c.text) << c.now;
        const float back = std::strtof(text.c_str(), nullptr);
        EXPECT_LE(back, c.now);
        if (c.previous < c.now) {
            EXPECT_GT(back, c.previous);
        }
    }
}
