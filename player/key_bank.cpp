// Key banks, live triggers and the key log.
#include "common/script/xml_tag.h"
#include "platform/file_name.h"
#include "player/demo.h"
#include "player/log.h"
#include "player/reload.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <strings.h>

namespace {
std::string gKeyLogFile = "keylog.txt";
} // namespace

void setKeyLogFile(const std::string& path) { gKeyLogFile = path; }

void cDemo::writeKeyLog(int code)
{
    // The presses of the events a reload runs again were made before.
    if (quietKeyLog_) return;
    // A quote or '>' as the trigger character would break the record when
    // it is pasted back into a script.
    if (code == '"' || code == '>') {
        cLog::get()->logf("keylog: key %d cannot be written as a trigger, not recorded", code);
        return;
    }
    std::FILE* f = platform::openFile(gKeyLogFile.c_str(), "a");
    if (!f) return;
    std::fprintf(f, "\t<event time=\"%s\" bank=\"%u\" trigger=\"%c\">\n\t</event>\n",
                 keyLogTime(timeline.frameTime, previousFrameTime_).c_str(), static_cast<unsigned>(bank), code);
    std::fclose(f);
}

void cDemo::writeKeyLogChange(const std::string& element)
{
    if (quietKeyLog_) return;
    std::FILE* f = platform::openFile(gKeyLogFile.c_str(), "a");
    if (!f) return;
    std::fprintf(f, "\t<event time=\"%s\">\n\t\t%s\n\t</event>\n",
                 keyLogTime(timeline.frameTime, previousFrameTime_).c_str(), element.c_str());
    std::fclose(f);
}

std::string keyLogTime(float now, float previous)
{
    // An event fires on the first frame whose time has reached it. A time
    // cut (not rounded) to a tenth usually lies after the previous frame
    // and so replays on this one; when frames are closer than that, more
    // decimals are written until it does.
    const bool ordered = previous < now;
    char text[32];
    for (int digits = 1; digits <= 6; ++digits) {
        const double scale = std::pow(10.0, digits);
        std::snprintf(text, sizeof text, "%.*f", digits, std::floor(double(now) * scale) / scale);
        const float back = std::strtof(text, nullptr);
        if (back <= now && (!ordered || back > previous)) return text;
    }
    std::snprintf(text, sizeof text, "%.9g", double(now));
    return text;
}

namespace {

// The key as a script writes it, or its code when it is no visible character.
void describeKey(int code, char* out, size_t size)
{
    if (code > ' ' && code < 127)
        std::snprintf(out, size, "%c", code);
    else
        std::snprintf(out, size, "%d", code);
}

} // namespace

void cDemo::key(int code, bool down)
{
    // Keys still queued behind the one that closed the window reach no show.
    if (closing_) return;
    // F5 rebuilds the show from its script, and fires its key events too;
    // a trigger in the script presses its key events only. A reload is not
    // part of the performance: it is not written to the key log.
    const bool reload = down && code == kReloadKey && reloader && reloader->watching() && !scriptedPress_;
    if (reload) reloader->request();
    if (down && code != 0) pressKey(code, !reload);
    cDemoWindow::key(code, down);
}

void cDemo::pressKey(int code, bool logged)
{
    char label[16];
    for (int i = 0; i < keyNesting; ++i) {
        if (keysInHand[i] == code) {
            // Two events of a key that press it again would otherwise run a
            // tree of presses that doubles at every level.
            describeKey(code, label, sizeof label);
            cLog::get()->logf("key %s pressed inside its own handling, not pressed again", label);
            return;
        }
    }
    if (keyNesting == 0) {
        pressesLeft = kMaxPressesInsideAPress;
    } else if (pressesLeft > 0 && keyNesting < kMaxKeyNesting) {
        --pressesLeft;
    } else {
        if (pressesLeft == 0) { // said once per outermost press
            describeKey(keysInHand[0], label, sizeof label);
            cLog::get()->logf("Error: key %s pressed more than %d keys inside its handling, further presses skipped",
                              label, kMaxPressesInsideAPress);
            pressesLeft = -1;
        }
        return;
    }

    if (logged) writeKeyLog(code);
    keysInHand[keyNesting++] = code;
    // Index loop: a fragment may append events while we walk.
    for (int i = 0; i < timeline.eventCount; ++i) {
        cEvent* e = timeline.events[i];
        if (e->trigger == code && (e->bank == bank || e->bank == -1)) doXML(e->fragment);
    }
    --keyNesting;
}

void cDemo::keybank(cXmlTag* tag)
{
    // Wide arithmetic, so huge values clamp instead of overflowing.
    long long b = bank;
    for (const cXmlParam* p : tag->params()) {
        if (strcasecmp(p->name, "set") == 0)
            b = cXmlTag::toInt(p->value);
        else if (strcasecmp(p->name, "inc") == 0)
            b += cXmlTag::toInt(p->value);
        else if (strcasecmp(p->name, "dec") == 0)
            b -= cXmlTag::toInt(p->value);
    }
    if (b > 10) b = 10;
    if (b < 0) b = 0;
    bank = static_cast<int>(b);
}
