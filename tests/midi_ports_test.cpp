// What a MIDI port's messages put into the input queue.
#include "player/controllers/midi_ports.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(MidiPorts, OnlyChannelMessagesTheMapCanUseAreQueued)
{
    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        bool queued;
    };
    const Case cases[] = {
        {"note-on, channel 10", {0x99, 36, 100}, true},
        {"note-on of velocity 0 (the map reads it as a note-off)", {0x90, 36, 0}, true},
        {"note-off", {0x80, 36, 64}, true},
        {"controller 7, channel 16", {0xBF, 7, 127}, true},
        {"program change: one data byte", {0xC0, 5}, true},
        {"polyphonic aftertouch", {0xA0, 36, 10}, false},
        {"channel pressure", {0xD0, 10}, false},
        {"pitch bend", {0xE0, 0, 64}, false},
        {"sysex", {0xF0, 0x7E, 0x7F, 0xF7}, false},
        {"clock", {0xF8}, false},
        {"active sensing", {0xFE}, false},
        {"no status byte (running status)", {36, 100, 0}, false},
        {"note-on cut short", {0x90, 36}, false},
        {"controller without its value", {0xB0, 7}, false},
        {"data byte above 127", {0xB0, 7, 200}, false},
        {"nothing", {}, false},
    };
    for (const Case& c : cases) {
        controllers::cInputQueue queue;
        EXPECT_EQ(controllers::pushPortMessage(c.bytes.data(), c.bytes.size(), queue), c.queued) << c.what;
        const std::vector<controllers::sAction> taken = queue.take();
        ASSERT_EQ(taken.size(), c.queued ? 1u : 0u) << c.what;
        if (!c.queued) continue;
        const controllers::sAction& a = taken[0];
        EXPECT_EQ(a.kind, controllers::sAction::eKind::midi) << c.what;
        EXPECT_STREQ(a.source, "MIDI") << c.what;
        EXPECT_EQ(a.midi[0], c.bytes[0]) << c.what;
        EXPECT_EQ(a.midi[1], c.bytes[1]) << c.what;
        EXPECT_EQ(a.midi[2], c.bytes.size() > 2 ? c.bytes[2] : 0) << c.what;
    }
}
