// Fuzzes the OSC datagram reader: whatever the bytes, it returns (no
// exception, no read outside the datagram), and what it returns is
// consistent: a malformed packet gives no action, every kind it ignored has
// a printable example, and every action is one the three addresses can make.
// The datagram is copied into a block of exactly its size, so a read past
// its end is seen by the sanitizer.

#include "fuzz/fuzz_check.h"
#include "player/controllers/osc_packet.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> datagram(data, data + size);
    const controllers::sOscRead read = controllers::readOscPacket(datagram.data(), datagram.size());

    check(!(read.ignored & controllers::kOscMalformed) || read.actions.empty(), "a malformed packet gives no action");
    check(read.ignored < (1u << controllers::kOscIgnoredKinds), "known kinds only");
    for (int i = 0; i < controllers::kOscIgnoredKinds; ++i) {
        const std::string& example = read.example[i];
        check(example.empty() != bool(read.ignored & (1u << i)), "an example for each kind ignored, and only those");
        check(example.size() <= 80, "a short example");
        for (char c : example) check(c >= ' ' && c < 127, "a printable example");
    }
    // An OSC message takes at least 8 bytes.
    check(read.actions.size() <= size / 8, "no more actions than messages fit");
    for (const controllers::sAction& a : read.actions) {
        check(std::strcmp(a.source, "OSC") == 0, "OSC actions say so");
        switch (a.kind) {
        case controllers::sAction::eKind::press:
            check(a.key != 0 && a.key >= -128 && a.key <= 255, "a key code");
            break;
        case controllers::sAction::eKind::bank:
            break;
        case controllers::sAction::eKind::set:
            check(a.value.find('"') == std::string::npos, "no quote in a value");
            break;
        case controllers::sAction::eKind::midi:
            check(false, "OSC makes no MIDI message");
            break;
        }
    }
    return 0;
}
