// OSC datagrams to controller actions, through oscpack's packet reader.
#include "player/controllers/osc_packet.h"

#include <oscpack/osc/OscReceivedElements.h>

#include <cstdio>
#include <cstring>
#include <exception>

namespace controllers {

const char* const kOscSource = "OSC";

namespace {

enum : size_t { kMaxExample = 80 };

// Text from the network, made fit for one log line.
std::string printable(const char* text, size_t limit = kMaxExample)
{
    std::string out;
    for (size_t i = 0; text[i] && out.size() < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += c >= ' ' && c < 127 ? static_cast<char>(c) : '?';
    }
    return out;
}

// Bit number of a kind: where its example goes.
int indexOf(unsigned kind)
{
    int i = 0;
    while (i < kOscIgnoredKinds && !(kind & (1u << i))) ++i;
    return i;
}

void ignore(sOscRead& read, unsigned kind, const std::string& example)
{
    if (!(read.ignored & kind)) read.example[indexOf(kind)] = example.substr(0, kMaxExample);
    read.ignored |= kind;
}

// A value goes between double quotes in a fragment and in the key log, and
// into the log: no quote, no markup, no control character. (The show
// checks the names itself.)
bool isValueText(const char* text)
{
    for (const char* p = text; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < ' ' || c == '"' || c == '<' || c == '>' || c == '&' || c == 127) return false;
    }
    return true;
}

std::string valueText(const osc::ReceivedMessageArgument& a)
{
    char text[32];
    if (a.IsInt32()) {
        std::snprintf(text, sizeof text, "%d", static_cast<int>(a.AsInt32()));
        return text;
    }
    if (a.IsFloat()) {
        std::snprintf(text, sizeof text, "%g", static_cast<double>(a.AsFloat()));
        return text;
    }
    return a.AsString();
}

// One message: its action, or what is wrong with it.
void readMessage(const osc::ReceivedMessage& m, sOscRead& read)
{
    const char* address = m.AddressPattern();
    const char* tags = m.TypeTags() ? m.TypeTags() : "";
    const std::string types(tags, m.ArgumentCount());
    const std::string where = printable(address) + " ," + printable(types.c_str(), 16);
    auto args = m.ArgumentsBegin();
    if (std::strcmp(address, "/kestrelux/key") == 0) {
        if (types == "s" && args->AsString()[0]) {
            read.actions.push_back(sAction::press(static_cast<signed char>(args->AsString()[0]), kOscSource));
            return;
        }
        if (types == "i" && args->AsInt32() >= 1 && args->AsInt32() <= 255) {
            read.actions.push_back(sAction::press(static_cast<int>(args->AsInt32()), kOscSource));
            return;
        }
    } else if (std::strcmp(address, "/kestrelux/bank") == 0) {
        if (types == "i") {
            read.actions.push_back(sAction::setBank(static_cast<int>(args->AsInt32()), kOscSource));
            return;
        }
    } else if (std::strcmp(address, "/kestrelux/set") == 0) {
        if (types.size() == 3 && types[0] == 's' && types[1] == 's' &&
            (types[2] == 's' || types[2] == 'i' || types[2] == 'f')) {
            const char* effect = args->AsString();
            ++args;
            const char* attribute = args->AsString();
            ++args;
            const std::string value = valueText(*args);
            if (isValueText(value.c_str())) {
                read.actions.push_back(sAction::set(effect, attribute, value, kOscSource));
                return;
            }
        }
    } else {
        ignore(read, kOscUnknownAddress, printable(address));
        return;
    }
    ignore(read, kOscWrongArguments, where);
}

void readBundle(const osc::ReceivedBundle& b, int depth, sOscRead& read)
{
    for (auto e = b.ElementsBegin(); e != b.ElementsEnd(); ++e) {
        if (!e->IsBundle()) {
            readMessage(osc::ReceivedMessage(*e), read);
        } else if (depth + 1 >= kMaxBundleDepth) {
            ignore(read, kOscTooDeep, "bundles nested more than " + std::to_string(int(kMaxBundleDepth)) + " deep");
        } else {
            readBundle(osc::ReceivedBundle(*e), depth + 1, read);
        }
    }
}

} // namespace

sOscRead readOscPacket(const char* data, size_t size)
{
    sOscRead read;
    if (!data || size == 0 || size > kMaxOscPacket) {
        ignore(read, kOscMalformed, size ? "packet too long" : "empty packet");
        return read;
    }
    try {
        const osc::ReceivedPacket packet(data, size);
        if (packet.IsBundle())
            readBundle(osc::ReceivedBundle(packet), 0, read);
        else
            readMessage(osc::ReceivedMessage(packet), read);
    } catch (const std::exception& e) {
        // oscpack's own exceptions say what was wrong; anything else
        // (an allocation that failed) is a packet we cannot take either.
        read = sOscRead();
        ignore(read, kOscMalformed, printable(e.what()));
    } catch (...) {
        read = sOscRead();
        ignore(read, kOscMalformed, "unreadable packet");
    }
    return read;
}

std::string describeOscIgnored(unsigned kind, const std::string& example)
{
    const char* what = "";
    switch (kind) {
    case kOscUnknownAddress: what = "a message to an address the player does not answer"; break;
    case kOscWrongArguments: what = "a message with arguments the player cannot use"; break;
    case kOscMalformed: what = "a packet that is not OSC (truncated or garbage)"; break;
    case kOscTooDeep: what = "a bundle nested too deep"; break;
    default: what = "input"; break;
    }
    return std::string("OSC: ignored ") + what + " (" + example + "); further ones are ignored without a word";
}

} // namespace controllers
