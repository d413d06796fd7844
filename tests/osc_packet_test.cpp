// OSC datagrams to controller actions: every address and argument form,
// bundles, and the packets that must be ignored, in one table; the port and
// address readers of --osc, osc= and oscbind=.
#include "osc_builder.h"
#include "player/controllers/osc_listener.h"
#include "player/controllers/osc_packet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using controllers::sAction;
using kxtest::oscBundle;
using kxtest::oscInt;
using kxtest::OscMessage;
using kxtest::oscString;

// The actions as one line: "press 65; bank 3; set bg color=ff405060".
std::string describe(const std::vector<sAction>& actions)
{
    std::string out;
    for (const sAction& a : actions) {
        if (!out.empty()) out += "; ";
        switch (a.kind) {
        case sAction::eKind::press:
            out += "press " + std::to_string(a.key);
            break;
        case sAction::eKind::bank:
            out += "bank " + std::to_string(a.bank);
            break;
        case sAction::eKind::set:
            out += "set " + a.effect + " " + a.attribute + "=" + a.value;
            break;
        case sAction::eKind::midi:
            out += "midi";
            break;
        }
        if (std::string(a.source) != "OSC") out += " (source " + std::string(a.source) + ")";
    }
    return out;
}

std::string nested(int depth, const std::string& inner)
{
    std::string p = inner;
    for (int i = 0; i < depth; ++i) p = oscBundle({p});
    return p;
}

constexpr unsigned kUnknown = controllers::kOscUnknownAddress, kWrong = controllers::kOscWrongArguments,
                   kMalformed = controllers::kOscMalformed, kDeep = controllers::kOscTooDeep;

TEST(OscPacket, AddressesArgumentsBundlesAndWhatIsIgnored)
{
    const std::string key = OscMessage("/kestrelux/key").s("A");
    const std::string bank = OscMessage("/kestrelux/bank").i(3);
    const std::string good = OscMessage("/kestrelux/set").s("bg").s("color").s("ff405060");
    struct Row {
        const char* what;
        std::string packet;
        const char* actions;
        unsigned ignored;
    } rows[] = {
        {"key as a string", key, "press 65", 0},
        {"a string's first character, as written", OscMessage("/kestrelux/key").s("abc"), "press 97", 0},
        {"key as a virtual-key code", OscMessage("/kestrelux/key").i(27), "press 27", 0},
        {"key code 0", OscMessage("/kestrelux/key").i(0), "", kWrong},
        {"key code past 255", OscMessage("/kestrelux/key").i(256), "", kWrong},
        {"key as an empty string", OscMessage("/kestrelux/key").s(""), "", kWrong},
        {"key as a float", OscMessage("/kestrelux/key").f(65), "", kWrong},
        {"key with two arguments", OscMessage("/kestrelux/key").s("A").s("B"), "", kWrong},
        {"key without arguments", OscMessage("/kestrelux/key"), "", kWrong},
        {"key without a type tag string", oscString("/kestrelux/key"), "", kWrong},
        {"bank", bank, "bank 3", 0},
        {"bank out of range is the show's to clamp", OscMessage("/kestrelux/bank").i(-4), "bank -4", 0},
        {"bank as a string", OscMessage("/kestrelux/bank").s("3"), "", kWrong},
        {"set with a string", good, "set bg color=ff405060", 0},
        {"set with an integer", OscMessage("/kestrelux/set").s("tune").s("volume").i(-42), "set tune volume=-42", 0},
        {"set with a float, %g", OscMessage("/kestrelux/set").s("tune").s("volume").f(0.504f), "set tune volume=0.504",
         0},
        {"set with a tiny float", OscMessage("/kestrelux/set").s("t").s("v").f(1e-7f), "set t v=1e-07", 0},
        {"set with two arguments", OscMessage("/kestrelux/set").s("bg").s("color"), "", kWrong},
        {"set with a number for the effect", OscMessage("/kestrelux/set").i(1).s("color").s("x"), "", kWrong},
        {"set with a quote in the value", OscMessage("/kestrelux/set").s("bg").s("color").s("a\"b"), "", kWrong},
        {"set with a line break in the value", OscMessage("/kestrelux/set").s("bg").s("c").s("a\nb"), "", kWrong},
        {"unknown address", OscMessage("/kestrelux/keys").s("A"), "", kUnknown},
        {"a longer address", OscMessage("/kestrelux/key/1").s("A"), "", kUnknown},
        {"a bundle keeps its order; an unknown message leaves the rest",
         oscBundle({key, OscMessage("/other").i(1), bank, good}), "press 65; bank 3; set bg color=ff405060", kUnknown},
        {"bundles inside bundles", oscBundle({nested(3, key), bank}), "press 65; bank 3", 0},
        {"nesting at the limit", nested(controllers::kMaxBundleDepth, key), "press 65", 0},
        {"nesting past the limit", oscBundle({nested(controllers::kMaxBundleDepth, key), bank}), "bank 3", kDeep},
        {"an empty bundle", oscBundle({}), "", 0},
        {"truncated message", key.substr(0, key.size() - 4), "", kMalformed},
        {"not a multiple of four", key + "x", "", kMalformed},
        {"garbage", std::string("garbage!"), "", kMalformed},
        {"padding that is not zeros", std::string("u\0et", 4) + oscString(",s") + oscString("A"), "", kMalformed},
        {"an address without its end", std::string("/kestrelux/key\1\1"), "", kMalformed},
        {"a string argument without its end", oscString("/kestrelux/key") + oscString(",s") + "AAAA", "", kMalformed},
        {"empty datagram", std::string(), "", kMalformed},
        {"a bad element spoils the whole bundle", oscBundle({key, bank}) + oscInt(8) + "/x\0\0,\0\0\0", "", kMalformed},
        {"a bundle element longer than the bundle", oscString("#bundle") + oscInt(0) + oscInt(1) + oscInt(64) + key, "",
         kMalformed},
        {"a negative element size", oscString("#bundle") + oscInt(0) + oscInt(1) + oscInt(0xFFFFFFFC) + key, "",
         kMalformed},
        {"a zero-length element", oscBundle({key, std::string()}), "", kMalformed},
        {"a blob longer than its message", oscString("/x") + oscString(",b") + oscInt(0xFFFFFFF0) + "abcd", "",
         kMalformed},
        {"a blob that fits is read past",
         oscString("/kestrelux/key") + oscString(",b") + oscInt(3) + std::string("abc\0", 4), "", kWrong},
        {"a bundle cut inside its time tag", oscString("#bundle") + oscInt(0), "", kMalformed},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const controllers::sOscRead read = controllers::readOscPacket(row.packet.data(), row.packet.size());
        EXPECT_EQ(describe(read.actions), row.actions);
        EXPECT_EQ(read.ignored, row.ignored);
        for (int i = 0; i < controllers::kOscIgnoredKinds; ++i)
            EXPECT_EQ(read.example[i].empty(), !(row.ignored & (1u << i))) << "example of kind " << i;
    }
}

TEST(OscPacket, IgnoredInputIsDescribedPrintably)
{
    const std::string address = "/\x01\xff" + std::string(200, 'x');
    const controllers::sOscRead read =
        controllers::readOscPacket(OscMessage(address).bytes().data(), OscMessage(address).bytes().size());
    ASSERT_EQ(read.ignored, kUnknown);
    const std::string line = controllers::describeOscIgnored(kUnknown, read.example[0]);
    EXPECT_NE(line.find("(/??xxx"), std::string::npos) << line;
    EXPECT_LT(line.size(), 200u);
}

TEST(OscPacket, PortsAndAddresses)
{
    struct Port {
        const char* text;
        int port; // 0: refused
    } ports[] = {{"9000", 9000}, {"1", 1},   {"65535", 65535}, {"0", 0}, {"65536", 0},
                 {"-1", 0},      {"90a", 0}, {" 9000", 0},     {"", 0},  {"99999999999999999999", 0}};
    for (const Port& p : ports) {
        int port = 0;
        EXPECT_EQ(controllers::readOscPort(p.text, port), p.port != 0) << p.text;
        if (p.port) {
            EXPECT_EQ(port, p.port) << p.text;
        }
    }
    struct Address {
        const char* text;
        const char* read; // empty: refused
    } addresses[] = {{"127.0.0.1", "127.0.0.1"},
                     {"0.0.0.0", "0.0.0.0"},
                     {"192.168.1.20", "192.168.1.20"},
                     {"localhost", "127.0.0.1"},
                     {"255.255.255.255", ""},
                     {"256.1.1.1", ""},
                     {"1.2.3", ""},
                     {"1.2.3.4.5", ""},
                     {"1.2.3.4 ", ""},
                     {"1..2.3", ""},
                     {"1234.1.1.1", ""},
                     {"example.com", ""},
                     {"", ""}};
    for (const Address& a : addresses) {
        uint32_t address = 0;
        const bool ok = controllers::readOscAddress(a.text, address);
        EXPECT_EQ(ok, a.read[0] != 0) << a.text;
        if (ok) {
            EXPECT_EQ(controllers::oscAddressText(address), a.read) << a.text;
        }
    }
}

} // namespace
