// The <midi> map: channel messages to key presses and attribute changes.
#include "player/controllers/midi_map.h"

#include "common/script/xml_tag.h"
#include "player/log.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace controllers {

namespace {

// A whole number in [low, high] written in full ("36", not "36x" or "").
bool readNumber(const char* text, int low, int high, int& out)
{
    if (!text || !*text) return false;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    while (*end == ' ' || *end == '\t') ++end;
    if (*end || v < low || v > high) return false;
    out = static_cast<int>(v);
    return true;
}

bool readFloat(const char* text, float& out)
{
    if (!text) return true; // absent: the default stays
    char* end = nullptr;
    const float v = std::strtof(text, &end);
    if (end == text || !std::isfinite(v)) return false;
    out = v;
    return true;
}

} // namespace

bool cMidiMap::add(const cXmlTag* tag)
{
    cLog* log = cLog::get();
    if (entries_.size() >= kMaxEntries) {
        log->logf("Error: midi: more than %d mappings, the rest left out", int(kMaxEntries));
        return false;
    }
    sEntry e;
    const char* channel = tag->getString("channel");
    if (channel && !readNumber(channel, 1, 16, e.channel)) {
        log->logf("Error: midi: channel \"%s\" is not 1 to 16, mapping left out", channel);
        return false;
    }
    const char* note = tag->getString("note");
    const char* cc = tag->getString("cc");
    if (note && !cc) {
        const char* key = tag->getString("key");
        if (!readNumber(note, 0, 127, e.number)) {
            log->logf("Error: midi: note \"%s\" is not 0 to 127, mapping left out", note);
            return false;
        }
        if (!key || !key[0] || key[0] == '"' || key[0] == '>') {
            log->logf("Error: midi: note %d has no key to press, mapping left out", e.number);
            return false;
        }
        e.isNote = true;
        e.key = static_cast<signed char>(key[0]);
    } else if (cc && !note) {
        const char* effect = tag->getString("effect");
        const char* param = tag->getString("param");
        if (!readNumber(cc, 0, 127, e.number)) {
            log->logf("Error: midi: cc \"%s\" is not 0 to 127, mapping left out", cc);
            return false;
        }
        if (!effect || !*effect || !param || !*param) {
            log->logf("Error: midi: cc %d needs effect and param, mapping left out", e.number);
            return false;
        }
        if (!readFloat(tag->getString("min"), e.min) || !readFloat(tag->getString("max"), e.max)) {
            log->logf("Error: midi: cc %d has a min or max that is not a number, mapping left out", e.number);
            return false;
        }
        e.isNote = false;
        e.effect = effect;
        e.param = param;
    } else {
        log->logf("Error: midi: an element needs either note and key or cc, effect and param; left out");
        return false;
    }
    entries_.push_back(std::move(e));
    return true;
}

std::vector<sAction> cMidiMap::translate(uint8_t status, uint8_t data1, uint8_t data2, const char* source) const
{
    std::vector<sAction> out;
    const int kind = status & 0xF0;
    const int channel = (status & 0x0F) + 1;
    const bool noteOn = kind == 0x90 && data2 > 0;
    const bool control = kind == 0xB0;
    if (!noteOn && !control) return out;
    for (const sEntry& e : entries_) {
        if (e.isNote != noteOn || e.number != (data1 & 0x7F)) continue;
        if (e.channel != 0 && e.channel != channel) continue;
        if (e.isNote)
            out.push_back(sAction::press(e.key, source));
        else
            out.push_back(sAction::set(e.effect, e.param, scaledValue(e.min, e.max, data2 & 0x7F), source));
    }
    return out;
}

std::string cMidiMap::scaledValue(float min, float max, int value)
{
    const double v = double(min) + (double(max) - double(min)) * value / 127.0;
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", v);
    // Trailing zeros and a bare point go: "1.000" is "1", "0.500" is "0.5".
    if (std::strchr(text, '.')) {
        size_t n = std::strlen(text);
        while (n > 0 && text[n - 1] == '0') text[--n] = '\0';
        if (n > 0 && text[n - 1] == '.') text[--n] = '\0';
    }
    if (std::strcmp(text, "-0") == 0) return "0";
    return text;
}

} // namespace controllers
