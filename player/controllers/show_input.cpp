// The show's side of the controllers: the actions OSC and MIDI queued,
// handled at the start of a frame, and their key-log records.
#include "common/effect/effect.h"
#include "common/script/xml_tag.h"
#include "player/capture.h"
#include "player/controllers/controller_input.h"
#include "player/demo.h"
#include "player/log.h"

#include <cctype>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// A value as a script would quote it: the reader takes no escapes, so a
// double quote cannot be written and is refused before it is applied.
bool quotable(const std::string& text) { return text.find('"') == std::string::npos; }

// Names go into a record as element and attribute names.
bool isName(const std::string& text)
{
    if (text.empty() || text.size() > 63) return false;
    for (char c : text)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.')) return false;
    return true;
}

} // namespace

bool cDemo::setFromController(const std::string& effectName, const std::string& attribute, const std::string& value)
{
    cEffect* effect = findEffect(effectName.c_str());
    if (!effect) return false;
    // The element the script would hold, in a document of its own that
    // lives while the effect reads it.
    cXmlTag root;
    cXmlTag* element = root.addChild(effectName.c_str());
    element->addParam(attribute.c_str(), value.c_str());
    effect->doXML(element);
    return true;
}

void cDemo::handleControllerInput()
{
    size_t dropped = 0;
    std::vector<controllers::sAction> actions = controllers::inputQueue().take(&dropped);
    cLog* log = cLog::get();
    if (dropped)
        log->logf("controllers: %lu actions left out, more than %d came between two frames",
                  static_cast<unsigned long>(dropped), int(controllers::cInputQueue::kMaxPending));
    if (actions.empty()) return;

    // A port's message becomes what the show's <midi> map makes of it.
    std::vector<controllers::sAction> handled;
    handled.reserve(actions.size());
    for (controllers::sAction& a : actions) {
        if (a.kind != controllers::sAction::eKind::midi) {
            handled.push_back(std::move(a));
            continue;
        }
        for (controllers::sAction& made : midiMap.translate(a.midi[0], a.midi[1], a.midi[2], a.source))
            handled.push_back(std::move(made));
    }

    // The last value of each attribute this frame, in the order first set.
    std::vector<std::pair<std::string, std::string>> changes; // record key, element text
    auto remember = [&](const std::string& key, std::string element) {
        for (auto& c : changes)
            if (c.first == key) {
                c.second = std::move(element);
                return;
            }
        changes.emplace_back(key, std::move(element));
    };

    // A press's record is written when it is handled: the bank and attribute
    // records made before it in this frame go first, so that the replay
    // presses the key in the bank, and with the values, it was pressed in.
    auto writeChanges = [&]() {
        for (const auto& c : changes) writeKeyLogChange(c.second);
        changes.clear();
    };

    for (const controllers::sAction& a : handled) {
        if (closing_) break; // Escape from a controller ends the show as the keyboard's does
        switch (a.kind) {
        case controllers::sAction::eKind::press:
            if (a.key == 0) break;
            writeChanges();
            key(a.key, true);
            key(a.key, false);
            break;
        case controllers::sAction::eKind::bank: {
            const int set = a.bank < 0 ? 0 : a.bank > 10 ? 10 : a.bank;
            bank = set;
            remember("keybank", "<keybank set=\"" + std::to_string(set) + "\"/>");
            break;
        }
        case controllers::sAction::eKind::set:
            if (!isName(a.effect) || !isName(a.attribute) || !quotable(a.value)) {
                log->logf("%s: %s %s=\"%s\" cannot be written in a script, not set", a.source, a.effect.c_str(),
                          a.attribute.c_str(), a.value.c_str());
                break;
            }
            if (!setFromController(a.effect, a.attribute, a.value)) {
                // Once per name: a fader aimed at a missing effect sends many.
                static std::set<std::string> told;
                if (told.insert(std::string(a.source) + " " + a.effect).second)
                    log->logf("%s: no effect named %s, %s not set (said once for this name)", a.source,
                              a.effect.c_str(), a.attribute.c_str());
                break;
            }
            remember(a.effect + "\n" + a.attribute, "<" + a.effect + " " + a.attribute + "=\"" + a.value + "\"/>");
            break;
        case controllers::sAction::eKind::midi:
            break; // translated above
        }
    }
    writeChanges();
}

void cDemo::followMidiPorts()
{
    // A capture renders without a person playing: it takes no live input.
    if (gCapture.enabled) {
        if (!midiMap.empty()) cLog::get()->logf("MIDI: a capture takes no input from MIDI ports; none opened");
        return;
    }
    // --midi NAME wins over the demo element's midi="NAME".
    std::string name = controllers::portNameFromCommandLine();
    const char* asked = demoTag ? demoTag->getString("midi") : nullptr;
    if (name.empty() && asked) name = asked;
    midiPorts.follow(!midiMap.empty(), name);
}
