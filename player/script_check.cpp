#include "player/script_check.h"

#include "common/media/stream.h"
#include "common/script/xml_tag.h"
#include "platform/file_name.h"
#include "player/log.h"
#include "player/plugin.h"
#include "player/reload.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <strings.h>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

namespace {

const char* const kCommands[] = {"keybank", "draworder",  "add",  "texture", "camera", "surface", "event",
                                 "create",  "loadplugin", "load", "run",     "exit",   "midi",    "midifile"};

// Attributes of the standard effects that name a data file.
struct sFileAttribute {
    const char* type;
    const char* attribute;
};
const sFileAttribute kFileAttributes[] = {
    {"picture", "filename"}, {"musicplay", "filename"}, {"shader", "filename"}, {"fontcool", "texture"}};

std::string lower(const char* text)
{
    std::string s = text ? text : "";
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isDataFile(const char* name)
{
    char path[512];
    std::error_code error;
    return locateDataFile(name, path, sizeof path) && std::filesystem::is_regular_file(platform::filePath(path), error);
}

std::string joined(const std::vector<std::string>& names)
{
    std::string s;
    for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
    return s.empty() ? "none" : s;
}

// A comment the reader took for a tag is reported where it stands.
bool isComment(const cXmlTag* tag)
{
    const sScriptPlace place = tagPlace(tag);
    const std::string& text = scriptFileText(place.file);
    return place.offset >= 0 && text.compare(size_t(place.offset), 4, "<!--") == 0;
}

struct sEffectName {
    std::string name; // lower case
    std::string type; // lower case
    const cXmlTag* add;
};

// Effect names in document order, found by name; the first add of a name counts.
struct sEffectSet {
    std::vector<sEffectName> list;
    std::unordered_map<std::string, size_t> byName;

    void add(sEffectName e)
    {
        if (byName.emplace(e.name, list.size()).second) list.push_back(std::move(e));
    }
    const sEffectName* find(const std::string& name) const
    {
        const auto found = byName.find(name);
        return found == byName.end() ? nullptr : &list[found->second];
    }
    void clear()
    {
        list.clear();
        byName.clear();
    }
};

// Names offered in messages: a show holds at most 48 effects.
constexpr size_t kNamesShown = 48;
// Events inside events are walked this deep, as the player runs them.
constexpr int kMaxFragmentDepth = 32;

class cChecker {
public:
    cChecker(const sCheckOptions& options, std::vector<sDiagnostic>& out) : options_(options), out_(out) { }

    void demo(const cXmlTag* demo)
    {
        effects_.clear();
        allEffects_.clear();
        plugins_.clear();
        created_ = false;
        order_ = nullptr;
        collectAdds(demo);
        commands(demo, false);
    }

    void report(bool error, const cXmlTag* tag, const std::string& text) { report(error, tagPlace(tag), text); }
    void report(bool error, const sScriptPlace& place, const std::string& text)
    {
        out_.push_back({error, place, text});
    }

private:
    // Every add of the demo, also those in event fragments.
    void collectAdds(const cXmlTag* tag)
    {
        for (const cXmlTag* child : tag->children()) {
            if (child->nameIs("add") && child->getString("name"))
                allEffects_.add({lower(child->getString("name")), lower(child->getString("type")), child});
            if (child->nameIs("event") && depth_ < kMaxFragmentDepth) {
                ++depth_;
                collectAdds(child);
                --depth_;
            }
        }
    }

    const sEffectName* effect(const char* name, bool fragment) const
    {
        return (fragment ? allEffects_ : effects_).find(lower(name));
    }

    std::vector<std::string> effectNames(bool fragment) const
    {
        std::vector<std::string> names;
        for (const sEffectName& e : (fragment ? allEffects_ : effects_).list) {
            if (names.size() >= kNamesShown) break;
            names.push_back(e.name);
        }
        return names;
    }

    void commands(const cXmlTag* list, bool fragment)
    {
        for (const cXmlTag* child : list->children()) {
            if (const sEffectName* e = effect(child->name, fragment)) {
                effectElement(child, *e, fragment);
                continue;
            }
            if (child->nameIs("add"))
                add(child);
            else if (child->nameIs("loadplugin"))
                loadPlugin(child);
            else if (child->nameIs("draworder") || child->nameIs("load")) {
                namesEffects(child, fragment);
                if (!fragment && child->nameIs("draworder")) drawOrder(child);
            } else if (child->nameIs("run") && !fragment)
                order_ = nullptr;
            else if (child->nameIs("texture"))
                texture(child);
            else if (child->nameIs("create"))
                created_ = true;
            else if (child->nameIs("event") && depth_ < kMaxFragmentDepth) {
                ++depth_;
                commands(child, true);
                --depth_;
            } else if (!isCommand(child->name))
                unknown(child, fragment);
        }
    }

    // A note is an element nothing reads, written on purpose.
    static bool isCommand(const char* name)
    {
        for (const char* c : kCommands)
            if (strcasecmp(name, c) == 0) return true;
        return strcasecmp(name, "note") == 0;
    }

    void unknown(const cXmlTag* tag, bool fragment)
    {
        if (isComment(tag)) return;
        const std::string name = tag->name;
        if (const sEffectName* e = fragment ? nullptr : allEffects_.find(lower(tag->name))) {
            const sScriptPlace at = tagPlace(e->add);
            report(false, tag,
                   "<" + name + "> comes before the <add> that makes " + name +
                       (at.known() ? " (" + at.text() + ")" : "") +
                       ": its attributes are ignored; move it after the add");
            return;
        }
        std::vector<std::string> known(std::begin(kCommands), std::end(kCommands));
        for (const std::string& e : effectNames(true)) known.push_back(e);
        const std::string nearest = nearestName(tag->name, known);
        report(false, tag,
               "<" + name + "> is neither a command nor an effect's name and is ignored" +
                   (nearest.empty() ? "" : "; did you mean <" + nearest + ">?"));
    }

    // Event fragments run while the show plays, after create.
    void effectElement(const cXmlTag* tag, const sEffectName& e, bool fragment)
    {
        for (const cXmlParam* p : tag->params()) {
            if (!created_ && !fragment && strcasecmp(p->name, "texture") == 0)
                report(false, tag,
                       "<" + std::string(tag->name) + " texture=\"" + p->value +
                           "\"> is read before <create>: without a window the texture cannot be made (the "
                           "letters come out white); put it after <create>");
            if (!options_.resolveFiles) continue;
            for (const sFileAttribute& f : kFileAttributes)
                if (e.type == f.type && strcasecmp(p->name, f.attribute) == 0) file(tag, p->value);
        }
    }

    // A name without an extension is a texture another effect makes
    // (the webcam's webcamtex), not a file.
    void file(const cXmlTag* tag, const char* name)
    {
        if (!name || !cReloader::looksLikeFileName(name) || isDataFile(name)) return;
        char path[512];
        locateDataFile(name, path, sizeof path);
        report(true, tag, std::string(name) + " not found (looked for " + path + ")");
    }

    void texture(const cXmlTag* tag)
    {
        const char* mode = tag->getString("mode");
        if (options_.resolveFiles && mode && strcasecmp(mode, "load") == 0) file(tag, tag->getString("filename"));
    }

    void loadPlugin(const cXmlTag* tag)
    {
        if (!options_.loadPlugins) return;
        for (const cXmlParam* p : tag->params()) {
            if (strcasecmp(p->name, "file") != 0) continue;
            auto plugin = std::make_unique<cPlugin>();
            if (plugin->load(p->value))
                plugins_.push_back(std::move(plugin));
            else
                report(true, tag, std::string("the effect library ") + p->value + " could not be loaded");
        }
    }

    void add(const cXmlTag* tag)
    {
        const char* name = tag->getString("name");
        const char* type = tag->getString("type");
        if (!name) {
            report(false, tag, "<add> without a name: the effect cannot be named anywhere");
            return;
        }
        if (const sEffectName* first = effects_.find(lower(name))) {
            const sScriptPlace at = tagPlace(first->add);
            report(false, tag,
                   std::string("a second <add> of the name ") + name +
                       (at.known() ? " (the first: " + at.text() + ")" : "") + ": elements named " + name +
                       " and the draw order reach only the first; give this effect "
                       "another name");
        }
        if (options_.loadPlugins) {
            bool made = false;
            for (const auto& plugin : plugins_) made = made || (type && plugin->makes(type));
            if (made) effects_.add({lower(name), lower(type), tag});
            if (made) return;
        } else {
            effects_.add({lower(name), lower(type), tag});
            return;
        }
        std::vector<cPlugin*> loaded;
        for (const auto& plugin : plugins_) loaded.push_back(plugin.get());
        report(true, tag,
               std::string("could not find effect: ") + name + ": " +
                   describeUnknownType(type, loaded.data(), int(loaded.size())));
    }

    void namesEffects(const cXmlTag* tag, bool fragment)
    {
        for (const cXmlParam* p : tag->params()) {
            if (strcasecmp(p->name, "effect") != 0 || effect(p->value, fragment)) continue;
            const std::string nearest = nearestName(p->value, effectNames(true));
            report(true, tag,
                   "<" + std::string(tag->name) + "> names the effect \"" + p->value + "\", which no <add>" +
                       (fragment ? "" : " before it") + " makes (effects: " + joined(effectNames(fragment)) + ")" +
                       (nearest.empty() ? "" : "; did you mean \"" + nearest + "\"?"));
        }
    }

    // A draw order set before the show runs and replaced before it runs
    // never draws: its effects that the new order leaves out are said.
    void drawOrder(const cXmlTag* tag)
    {
        const cXmlTag* before = order_;
        order_ = tag;
        if (!before) return;
        std::unordered_set<std::string> kept;
        for (const cXmlParam* p : tag->params())
            if (strcasecmp(p->name, "effect") == 0) kept.insert(lower(p->value));
        std::vector<std::string> left;
        for (const cXmlParam* p : before->params())
            if (strcasecmp(p->name, "effect") == 0 && kept.insert(lower(p->value)).second)
                left.push_back(lower(p->value));
        if (left.empty()) return;
        if (left.size() > kNamesShown) left.resize(kNamesShown);
        const sScriptPlace at = tagPlace(before);
        report(false, tag,
               "<draworder> replaces the draw order" + (at.known() ? " of " + at.text() : std::string()) +
                   " before the show runs, so " + joined(left) + (left.size() == 1 ? " is" : " are") +
                   " not drawn; name every effect in one draworder");
    }

    const sCheckOptions& options_;
    std::vector<sDiagnostic>& out_;
    sEffectSet effects_;    // added so far, in document order
    sEffectSet allEffects_; // every add of the demo
    int depth_ = 0;         // of events inside events
    std::vector<std::unique_ptr<cPlugin>> plugins_;
    bool created_ = false;
    const cXmlTag* order_ = nullptr; // the draw order set at the top level since the last run
};

// What the reader takes without complaint but not as meant: comments, and
// values without quotes before a quoted one (name=x other="y" reads the
// "y" as the value of name).
void checkText(cChecker& checker, const std::string& file)
{
    const std::string& text = scriptFileText(file);
    size_t at = 0;
    while ((at = text.find('<', at)) != std::string::npos) {
        if (text.compare(at, 4, "<!--") == 0) {
            checker.report(false, placeIn(file, long(at)),
                           "the player does not read <!-- comments -->: it takes one for a tag; remove it");
            const size_t end = text.find("-->", at);
            at = end == std::string::npos ? text.size() : end + 3;
            continue;
        }
        const size_t gt = text.find('>', at);
        if (gt == std::string::npos) break;
        bool quoted = false;
        for (size_t i = at + 1; i < gt; ++i) {
            if (text[i] == '"') quoted = !quoted;
            if (quoted || text[i] != '=') continue;
            size_t value = i + 1;
            while (value < gt && std::isspace(static_cast<unsigned char>(text[value]))) ++value;
            if (value >= gt || text[value] == '"') continue;
            size_t nameEnd = i;
            while (nameEnd > at && std::isspace(static_cast<unsigned char>(text[nameEnd - 1]))) --nameEnd;
            size_t nameStart = nameEnd;
            while (nameStart > at && std::isalnum(static_cast<unsigned char>(text[nameStart - 1]))) --nameStart;
            checker.report(false, placeIn(file, long(value)),
                           "the value of " + text.substr(nameStart, nameEnd - nameStart) + " must be in quotes");
        }
        at = gt + 1;
    }
}

} // namespace

std::string sDiagnostic::line() const
{
    return (place.file.empty() ? std::string() : place.text() + ": ") + (error ? "error: " : "warning: ") + text;
}

void reportScriptProblem(const cXmlTag* tag, const std::string& text)
{
    const sScriptPlace place = tagPlace(tag);
    const std::string line = (place.file.empty() ? std::string() : place.text() + ": ") + text;
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", line.c_str());
    cLog::get()->write(0, line.c_str());
}

int reportDiagnostics(const std::vector<sDiagnostic>& diagnostics)
{
    std::fflush(stdout);
    for (const sDiagnostic& d : diagnostics) {
        const std::string line = d.line();
        std::fprintf(stderr, "%s\n", line.c_str());
        cLog::get()->write(0, line.c_str());
    }
    return int(diagnostics.size());
}

std::string nearestName(const char* name, const std::vector<std::string>& known)
{
    const std::string a = lower(name);
    std::string best;
    size_t bestDistance = std::string::npos;
    for (const std::string& candidate : known) {
        const std::string b = lower(candidate.c_str());
        // Edit distance (insertions, deletions, substitutions, and two
        // neighbours swapped, the commonest slip of the keyboard).
        std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
        for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
        for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
        for (size_t i = 1; i <= a.size(); ++i)
            for (size_t j = 1; j <= b.size(); ++j) {
                d[i][j] =
                    std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
                if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                    d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        const size_t distance = d[a.size()][b.size()];
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate;
        }
    }
    // Close: at most two edits, and fewer than a third of the longer name.
    const size_t longer = std::max(a.size(), best.size());
    if (best.empty() || bestDistance == 0 || bestDistance > 2 || bestDistance * 3 > longer) return "";
    return best;
}

std::vector<sDiagnostic> checkScript(const cXmlTag* root, const std::vector<std::string>& filesRead,
                                     const sCheckOptions& options)
{
    std::vector<sDiagnostic> out;
    cChecker checker(options, out);
    for (const std::string& file : filesRead) {
        if (options.resolveFiles && !isDataFile(file.c_str())) {
            char path[512];
            locateDataFile(file.c_str(), path, sizeof path);
            checker.report(true, sScriptPlace{file}, "included file not found (looked for " + std::string(path) + ")");
            continue;
        }
        checkText(checker, file);
    }
    for (const cXmlTag* child : root->children()) {
        if (child->nameIs("demo")) {
            checker.demo(child);
        } else if (!isComment(child)) {
            const std::string nearest = nearestName(child->name, {"demo"});
            checker.report(false, child,
                           "<" + std::string(child->name) +
                               "> at the top of the script is ignored: only <demo> "
                               "elements are played" +
                               (nearest.empty() ? "" : "; did you mean <demo>?"));
        }
    }
    // In the order of the files, and by place within each.
    auto rank = [&](const sDiagnostic& d) {
        const auto f = std::find(filesRead.begin(), filesRead.end(), d.place.file);
        return std::make_pair(f - filesRead.begin(), d.place.offset);
    };
    std::stable_sort(out.begin(), out.end(),
                     [&](const sDiagnostic& a, const sDiagnostic& b) { return rank(a) < rank(b); });
    return out;
}
