// OSC datagrams to controller actions, through oscpack's packet reader.
#include "player/controllers/osc_packet.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <oscpack/osc/OscReceivedElements.h>

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
    if (!(read.ignored & kind))
        read.example[indexOf(kind)] = example.empty() ? "(empty)" : example.substr(0, kMaxExample);
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

// Where the OSC string at `at` (a multiple of four) ends, padding included;
// 0 when it does not end inside the first `size` bytes or its padding is not
// all zeros. oscpack looks for the end only at every fourth byte, so with
// any other padding it would see another end than this.
size_t stringEnd(const unsigned char* p, size_t at, size_t size)
{
    size_t i = at;
    while (i < size && p[i]) ++i;
    const size_t end = (i + 4) & ~size_t(3);
    if (i >= size || end > size) return 0;
    for (; i < end; ++i)
        if (p[i]) return 0;
    return end;
}

uint32_t bigEndian(const unsigned char* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// oscpack reads sizes from the packet and trusts them: a bundle element
// claiming 0xFFFFFFFC bytes makes its bundle reader loop for ever (4 plus
// the size wraps to 0 in 32 bits), and a blob's size is not held to its
// message. So the layout is checked here first, in wide arithmetic, and the
// library only ever reads packets whose every size fits. Null when sound,
// else what is wrong.
const char* checkMessage(const unsigned char* p, size_t size)
{
    if (size == 0 || size % 4) return "a message of no length or not a multiple of four";
    size_t at = stringEnd(p, 0, size);
    if (!at || at > size) return "unterminated address pattern";
    if (at == size) return nullptr; // no type tags: no arguments
    if (p[at] != ',') return "type tags not present";
    const size_t tags = at + 1;
    at = stringEnd(p, at, size);
    if (!at || at > size) return "unterminated type tags";
    for (size_t t = tags; p[t]; ++t) {
        size_t need = 0;
        switch (p[t]) {
        case 'T':
        case 'F':
        case 'N':
        case 'I':
        case '[':
        case ']':
            break;
        case 'i':
        case 'f':
        case 'c':
        case 'r':
        case 'm':
            need = 4;
            break;
        case 'h':
        case 't':
        case 'd':
            need = 8;
            break;
        case 's':
        case 'S':
            at = stringEnd(p, at, size);
            if (!at || at > size) return "unterminated string argument";
            break;
        case 'b':
            if (size - at < 4) return "arguments exceed message size";
            need = 4 + ((size_t(bigEndian(p + at)) + 3) & ~size_t(3));
            break;
        default:
            return "unknown type tag";
        }
        if (need > size - at) return "arguments exceed message size";
        at += need;
    }
    return nullptr;
}

const char* checkBundle(const unsigned char* p, size_t size, int depth)
{
    if (size < 16 || size % 4) return "a bundle too short or not a multiple of four";
    for (size_t at = 16; at < size;) {
        if (size - at < 4) return "packet too short for a bundle element's size";
        const size_t element = bigEndian(p + at);
        at += 4;
        if (element > size - at || element % 4) return "a bundle element larger than its bundle";
        const unsigned char* e = p + at;
        // Bundles past the depth limit are not read, so not checked.
        const char* fault = element && e[0] == '#'
                                ? (depth + 1 < kMaxBundleDepth ? checkBundle(e, element, depth + 1) : nullptr)
                                : checkMessage(e, element);
        if (fault) return fault;
        at += element;
    }
    return nullptr;
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
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
    if (const char* fault = data[0] == '#' ? checkBundle(bytes, size, 0) : checkMessage(bytes, size)) {
        ignore(read, kOscMalformed, fault);
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
    case kOscUnknownAddress:
        what = "a message to an address the player does not answer";
        break;
    case kOscWrongArguments:
        what = "a message with arguments the player cannot use";
        break;
    case kOscMalformed:
        what = "a packet that is not OSC (truncated or garbage)";
        break;
    case kOscTooDeep:
        what = "a bundle nested too deep";
        break;
    default:
        what = "input";
        break;
    }
    return std::string("OSC: ignored ") + what + " (" + example + "); further ones are ignored without a word";
}

} // namespace controllers
