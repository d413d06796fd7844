// A MIDI file's messages as cues of the show.
#include "player/controllers/midi_file_cues.h"

#include "common/media/stream.h"
#include "common/script/xml_tag.h"
#include "platform/file_name.h"
#include "platform/problem_report.h"
#include "player/controllers/midi_file.h"
#include "player/controllers/midi_map.h"
#include "player/demo.h"
#include "player/log.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <utility>

namespace controllers {

namespace {

const char* const kSource = "MIDI file";

// Reads the file from the first of its places that holds it. False with
// the reason in why; path is where it was found.
bool readFile(const char* name, std::vector<unsigned char>& bytes, std::string& path, std::string& why)
{
    const std::vector<std::string> places = midiFilePlaces(name);
    for (const std::string& candidate : places) {
        std::error_code error;
        const std::filesystem::path file = platform::filePath(candidate);
        if (!std::filesystem::is_regular_file(file, error)) continue;
        path = candidate;
        const uintmax_t length = std::filesystem::file_size(file, error);
        if (!error && length > cMidiFileReader::kMaxFileBytes) {
            why = std::to_string(length) + " bytes: larger than the " +
                  std::to_string(cMidiFileReader::kMaxFileBytes) + " bytes a MIDI file may have";
            return false;
        }
        std::FILE* f = platform::openFile(candidate.c_str(), "rb");
        if (!f) {
            why = "cannot be opened";
            return false;
        }
        // As long as it was when looked at, and no longer than the limit.
        bytes.resize(error ? 0 : static_cast<size_t>(length));
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
        std::fclose(f);
        return true;
    }
    why = places.size() == 1 ? "not found (looked for " + places[0] + ")"
                             : "not found (looked for " + places[0] + " and " + places[1] + ")";
    return false;
}

void reportLeftOut(const char* name, size_t leftOut)
{
    if (leftOut)
        cLog::get()->logf("Error: midifile: %s: %d cues left out, the show holds at most %d events", name, int(leftOut),
                          int(cTimeline::kMaxEvents));
}

// The show time of the command: the time of the event that runs it, in
// whichever frame the clock runs that event; outside events, the frame's.
float commandTime(const cDemo& demo)
{
    const cEvent* e = demo.timeline.running();
    return e && e->time >= 0 ? e->time : demo.timeline.frameTime;
}

} // namespace

std::vector<sMidiCue> cuesOf(const sMidiFile& file, const cMidiMap& map, sMidiCueCount& count)
{
    std::vector<sMidiCue> cues;
    // The cue of each controller's run of close changes: channel and number
    // -> the cue's index and the time the run started.
    std::map<int, std::pair<size_t, double>> runs;
    for (const sMidiFileMessage& m : file.messages) {
        const int kind = m.status & 0xF0;
        const bool noteOn = kind == 0x90 && m.data2 > 0;
        if (!noteOn && kind != 0xB0) continue;
        std::vector<sAction> actions = map.translate(m.status, m.data1, m.data2, kSource);
        if (actions.empty()) {
            ++count.unmapped;
            continue;
        }
        if (noteOn) {
            // Each key a note presses is a cue of its own: an event has one trigger.
            for (sAction& a : actions) {
                sMidiCue cue;
                cue.seconds = m.seconds;
                cue.actions.push_back(std::move(a));
                cues.push_back(std::move(cue));
            }
            ++count.notes;
            continue;
        }
        const int controller = (m.status & 0x0F) << 7 | m.data1;
        auto run = runs.find(controller);
        if (run != runs.end() && m.seconds - run->second.second < kControllerSpacing) {
            sMidiCue& cue = cues[run->second.first];
            cue.seconds = m.seconds;
            cue.actions = std::move(actions);
            ++count.merged;
            continue;
        }
        runs[controller] = {cues.size(), m.seconds};
        sMidiCue cue;
        cue.seconds = m.seconds;
        cue.actions = std::move(actions);
        cues.push_back(std::move(cue));
        ++count.controllers;
    }
    // A folded change moved to its run's last time.
    std::stable_sort(cues.begin(), cues.end(),
                     [](const sMidiCue& a, const sMidiCue& b) { return a.seconds < b.seconds; });
    return cues;
}

std::vector<std::string> midiFilePlaces(const char* name)
{
    char inMusic[512];
    const std::string inData = std::string("data/") + name;
    if (!locateDataFile(name, inMusic, sizeof inMusic) || inData == inMusic) return {inData};
    return {inMusic, inData};
}

void midiFileCommand(cDemo& demo, cXmlTag* element)
{
    cLog* log = cLog::get();
    const char* name = element->getString("filename");
    if (!name || !*name) {
        log->logf("Error: midifile without a filename, ignored");
        return;
    }
    const float start = commandTime(demo);
    char at[32];
    std::snprintf(at, sizeof at, "%.9g", double(start));

    // The cues are events of the document, under the element: they live as
    // long as the script does and go with it (a rebuilt show has a new
    // document and reads the file again). Run again at the same time, as
    // the show is scrubbed, the element has declared its cues already; run
    // anew at that time (a key pressed twice in a frame), it declares them
    // once more, as an event's fragment declares its events.
    for (cXmlTag* made : element->children()) {
        const char* madeAt = made->getString("at");
        if (!made->nameIs("cues") || !madeAt || std::strcmp(madeAt, at) != 0) continue;
        if (demo.rerun.again) return;
        size_t leftOut = 0;
        for (cXmlTag* event : made->children())
            if (demo.timeline.room() <= 0 || !demo.timeline.declareCue(event)) ++leftOut;
        reportLeftOut(name, leftOut);
        return;
    }

    std::vector<unsigned char> bytes;
    std::string path, why;
    sMidiFile file;
    if (!readFile(name, bytes, path, why) || !cMidiFileReader::read(bytes.data(), bytes.size(), file, why)) {
        platform::reportProblem("midifile: %s refused: %s\n", name, why.c_str());
        return;
    }
    if (demo.midiMap.empty())
        log->logf("midifile: %s: the show has no <midi> elements before it, nothing to play", name);
    sMidiCueCount count;
    std::vector<sMidiCue> cues = cuesOf(file, demo.midiMap, count);

    cXmlArena& arena = element->arena();
    auto text = [&](const char* s) { return arena.copyString(s, std::strlen(s), kXmlValueMax); };
    auto addParam = [&](cXmlTag* tag, cXmlParam*& last, const char* param, const char* value) {
        cXmlParam* p = arena.newParam();
        p->name = arena.copyString(param, std::strlen(param), kXmlParamNameMax);
        p->value = text(value);
        tag->appendParam(p, last);
        last = p;
    };
    cXmlTag* group = element->addChild("cues");
    group->addParam("at", at);
    cXmlTag* lastEvent = nullptr;
    size_t declared = 0, leftOut = 0, noEffect = 0;
    std::string missingEffect;
    for (const sMidiCue& cue : cues) {
        if (demo.timeline.room() <= 0) {
            ++leftOut;
            continue;
        }
        cXmlTag* event = arena.newTag();
        event->name = text("event");
        cXmlParam* lastParam = nullptr;
        char time[32];
        std::snprintf(time, sizeof time, "%.9g", double(static_cast<float>(double(start) + cue.seconds)));
        addParam(event, lastParam, "time", time);
        cXmlTag* lastChild = nullptr;
        for (const sAction& a : cue.actions) {
            if (a.kind == sAction::eKind::press) {
                const char key[2] = {static_cast<char>(a.key), 0};
                addParam(event, lastParam, "trigger", key);
            } else if (a.kind == sAction::eKind::set) {
                // Only an effect of the show: another name would run as a command.
                if (!demo.findEffect(a.effect.c_str())) {
                    ++noEffect;
                    missingEffect = a.effect;
                    continue;
                }
                cXmlTag* change = arena.newTag();
                change->name = arena.copyString(a.effect.c_str(), a.effect.size(), kXmlTagNameMax);
                cXmlParam* changeParam = nullptr;
                addParam(change, changeParam, a.attribute.c_str(), a.value.c_str());
                event->appendChild(change, lastChild);
                lastChild = change;
            }
        }
        if (!event->firstChild && !event->getString("trigger")) continue;
        group->appendChild(event, lastEvent);
        lastEvent = event;
        if (demo.timeline.declareCue(event, demo.rerun.again)) ++declared;
    }

    // Counts are bounded by the file's events (a million), so an int holds them.
    log->logf("midifile: %s (%s, format %d, %d tracks): %d notes and %d controller changes from %.3f s, "
              "%d cues (%d controller changes within 1/100 s of the one before merged, %d not in the <midi> map)",
              name, path.c_str(), file.format, file.tracks, int(count.notes), int(count.controllers + count.merged),
              double(start), int(declared), int(count.merged), int(count.unmapped));
    if (noEffect)
        log->logf("Error: midifile: %s: %d controller changes set %s, which is no effect of the show; left out", name,
                  int(noEffect), missingEffect.c_str());
    reportLeftOut(name, leftOut);
}

} // namespace controllers
