#include "player/reload.h"

#include "common/media/stream.h"
#include "platform/clock.h"
#include "platform/file_name.h"
#include "player/controllers/midi_file_cues.h"
#include "player/script_reader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <strings.h>
#include <system_error>

cReloader::cReloader(const char* scriptName, bool watching) : script_(scriptName ? scriptName : ""), watching_(watching)
{
}

std::unique_ptr<cXmlTag> cReloader::read(std::vector<std::string>& namesRead)
{
    std::unique_ptr<cXmlTag> tree(new cXmlTag);
    recordFilesRead(&namesRead);
    const int result = loadFile(tree.get(), script_.c_str());
    recordFilesRead(nullptr);
    if (result != 0) tree.reset();
    return tree;
}

int cReloader::load()
{
    namesRead_.clear();
    root_ = read(namesRead_);
    present_ = filesPresent(namesRead_);
    if (watching_) watch_.watch(filesOf(root_.get(), namesRead_));
    lastPoll_ = platform::ticks();
    return root_ ? 0 : -1;
}

bool cReloader::due()
{
    if (!watching_) return false;
    if (requested_) {
        requested_ = false;
        watch_.takeChanges();
        changed_ = watch_.changed();
        return true;
    }
    const uint32_t now = platform::ticks();
    if (now - lastPoll_ < kPollMs && !watch_.writerDone()) return false;
    lastPoll_ = now;
    if (!watch_.poll()) return false;
    changed_ = watch_.changed();
    return true;
}

std::unique_ptr<cXmlTag> cReloader::readAgain(std::string& error)
{
    namesRead_.clear();
    std::unique_ptr<cXmlTag> tree = read(namesRead_);
    if (tree) {
        error = vanishedInclude(namesRead_);
        if (!error.empty()) tree.reset();
    } else {
        error = lastError();
        while (!error.empty() && (error.back() == '\n' || error.back() == '\r')) error.pop_back();
    }
    if (!tree) {
        // A broken script may name other includes than the one it
        // replaces; they are watched as well, so saving a fixed one reloads.
        watch_.add(filesOf(nullptr, namesRead_));
    }
    return tree;
}

void cReloader::adopt(std::unique_ptr<cXmlTag> tree)
{
    root_ = std::move(tree);
    present_ = filesPresent(namesRead_);
    // From now on exactly the files of the new tree are watched.
    watch_.watch(filesOf(root_.get(), namesRead_));
}

bool cReloader::looksLikeFileName(const char* value)
{
    const size_t n = value ? std::strlen(value) : 0;
    if (n < 3 || n > 255) return false;
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        if (c < ' ' || c == 127 || c == ',' || c == '"') return false;
    }
    // A blank inside is a name ("my picture.tga"); at either end it is not.
    if (value[0] == ' ' || value[n - 1] == ' ') return false;
    const char* dot = std::strrchr(value, '.');
    if (!dot || dot == value) return false;
    const size_t extension = n - static_cast<size_t>(dot + 1 - value);
    if (extension < 1 || extension > 4) return false;
    bool letter = false;
    for (const char* p = dot + 1; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (!std::isalnum(c)) return false;
        letter = letter || std::isalpha(c);
    }
    return letter;
}

std::vector<std::string> cReloader::filesPresent(const std::vector<std::string>& namesRead)
{
    std::vector<std::string> present;
    char path[512];
    for (const std::string& name : namesRead) {
        std::error_code error;
        if (locateDataFile(name.c_str(), path, sizeof path) &&
            std::filesystem::is_regular_file(platform::filePath(path), error))
            present.emplace_back(path);
    }
    return present;
}

std::string cReloader::vanishedInclude(const std::vector<std::string>& namesRead) const
{
    char path[512];
    for (const std::string& name : namesRead) {
        if (!locateDataFile(name.c_str(), path, sizeof path)) continue;
        if (std::find(present_.begin(), present_.end(), path) == present_.end()) continue;
        std::error_code error;
        const auto status = std::filesystem::status(platform::filePath(path), error);
        if (std::filesystem::is_regular_file(status)) continue;
        // A missing include reads as nothing; one the show was read from
        // that went away would silently drop its part of the show.
        return "ERROR: include [" + name + "] " +
               (std::filesystem::is_directory(status) ? "is a folder now" : "is gone");
    }
    return {};
}

namespace {

// Files that their effect reads again by itself while the show plays (the
// shader effect's sources): a change to one rebuilds that effect only, and
// keeps the last version that worked, so it does not rebuild the show.
bool endsWithOneOf(const char* name, std::initializer_list<const char*> extensions)
{
    const size_t n = std::strlen(name);
    for (const char* extension : extensions) {
        const size_t e = std::strlen(extension);
        if (n >= e && strcasecmp(name + n - e, extension) == 0) return true;
    }
    return false;
}

bool reloadedByItsEffect(const char* name) { return endsWithOneOf(name, {".frag", ".glsl"}); }

bool isMidiFileName(const char* name) { return endsWithOneOf(name, {".mid", ".midi"}); }

} // namespace

std::vector<std::string> cReloader::filesOf(const cXmlTag* tree, const std::vector<std::string>& namesRead)
{
    std::vector<std::string> paths;
    char path[512];
    auto addPath = [&](const std::string& found) {
        if (std::find(paths.begin(), paths.end(), found) == paths.end()) paths.push_back(found);
    };
    auto addName = [&](const char* name) {
        if (reloadedByItsEffect(name) || !locateDataFile(name, path, sizeof path)) return;
        addPath(path);
        // A MIDI file may also be read from data/ itself.
        if (isMidiFileName(name))
            for (const std::string& place : controllers::midiFilePlaces(name)) addPath(place);
    };
    for (const std::string& name : namesRead) addName(name.c_str());
    if (!tree) return paths;
    // Walked with a stack of its own: a script can nest elements deeper
    // than the call stack would allow.
    std::vector<const cXmlTag*> open{tree};
    while (!open.empty()) {
        const cXmlTag* tag = open.back();
        open.pop_back();
        for (const cXmlParam* p : tag->params())
            if (looksLikeFileName(p->value)) addName(p->value);
        // Children pushed last first, so files are listed in document order.
        const size_t mark = open.size();
        for (const cXmlTag* child : tag->children()) open.push_back(child);
        std::reverse(open.begin() + static_cast<std::ptrdiff_t>(mark), open.end());
    }
    return paths;
}
