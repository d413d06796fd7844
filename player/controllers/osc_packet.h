// One OSC datagram turned into what it asks of the show, apart from the
// socket it came through, so that it can be tested and fuzzed alone.
//   /kestrelux/key  s        a key press: the string's first character
//   /kestrelux/key  i        a key press: a virtual-key code (1..255)
//   /kestrelux/bank i        the key bank, as <keybank set="N"/>
//   /kestrelux/set  s s s|i|f  <EFFECT ATTRIBUTE="VALUE"/>; an integer is
//                            written in decimal, a float with %g
// Bundles are opened (their time tags are not waited for: every message is
// handled at the next frame), nested at most kMaxBundleDepth deep.
// Everything else is ignored and said to the caller by kind.
#pragma once

#include "player/controllers/controller_input.h"

#include <cstddef>
#include <string>
#include <vector>

namespace controllers {

enum eOscIgnored : unsigned {
    kOscUnknownAddress = 1u << 0, // an address the player does not answer
    kOscWrongArguments = 1u << 1, // a known address with the wrong number or types of arguments
    kOscMalformed = 1u << 2,      // not a whole OSC packet: truncated, misaligned, garbage
    kOscTooDeep = 1u << 3,        // bundles inside bundles beyond kMaxBundleDepth
};
enum : int { kOscIgnoredKinds = 4, kMaxBundleDepth = 8 };
// The longest datagram read: more than UDP over IPv4 can carry.
enum : size_t { kMaxOscPacket = 65536 };

struct sOscRead {
    std::vector<sAction> actions; // in the order of the packet
    unsigned ignored = 0;         // eOscIgnored bits of what was left out
    // For each kind ignored (index: bit number), the first case: the
    // address and type tags, or what was wrong with the packet; printable,
    // at most about 80 characters.
    std::string example[kOscIgnoredKinds];
};

// The source name of OSC actions in the log.
extern const char* const kOscSource;

// Reads one datagram. A malformed packet gives no action at all, even when
// a bundle held good messages before the fault; a message that is merely
// unknown or has the wrong arguments leaves the rest of its bundle alone.
// Never throws.
sOscRead readOscPacket(const char* data, size_t size);

// The log line for one kind of ignored input, with its first example.
std::string describeOscIgnored(unsigned kind, const std::string& example);

} // namespace controllers
