#include "platform/file_name.h"
#include "player/script_places.h"

#include "common/media/stream.h"
#include "common/script/xml_tag.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <unordered_map>
#include <vector>

namespace {

struct sTagNote {
    const cXmlTag* tag;
    int file;
    long offset;
};

struct sFault {
    eReadFault kind = eReadFault::none;
    int file = -1;
    long offset = -1;
    std::string name;
    // The tag that was open; copied, since a failed read's tree is freed.
    std::string openName;
    int openFile = -1;
    long openOffset = -1;
};

std::vector<std::string> gFiles;
std::vector<sTagNote> gTags;
sFault gFault;
std::map<std::string, std::string> gTexts;
// Where each line of a file starts, by file, built on first use.
std::map<std::string, std::vector<size_t>> gLineStarts;
// Tag to note, built on first lookup (messages are few, tags many).
std::unordered_map<const cXmlTag*, size_t> gTagIndex;

int fileIndex(const char* file)
{
    const std::string name = file ? file : "";
    // Tags come file by file, so the last file is nearly always the one.
    for (size_t i = gFiles.size(); i-- > 0;)
        if (gFiles[i] == name) return static_cast<int>(i);
    gFiles.push_back(name);
    return static_cast<int>(gFiles.size() - 1);
}

std::string fileName(int index) { return index >= 0 && size_t(index) < gFiles.size() ? gFiles[size_t(index)] : ""; }

} // namespace

std::string sScriptPlace::text() const
{
    if (!known()) return file;
    return file + ":" + std::to_string(line) + ":" + std::to_string(column);
}

void clearScriptPlaces()
{
    gFiles.clear();
    gTags.clear();
    gFault = sFault();
    gTexts.clear();
    gLineStarts.clear();
    gTagIndex.clear();
}

void noteTagPlace(const cXmlTag* tag, const char* file, long offset)
{
    gTags.push_back({tag, fileIndex(file), offset});
}

void noteReadFault(eReadFault kind, const char* file, long offset, const std::string& name, const cXmlTag* open)
{
    if (gFault.kind != eReadFault::none) return;
    gFault.kind = kind;
    gFault.file = fileIndex(file);
    gFault.offset = offset;
    gFault.name = name;
    if (!open) return;
    gFault.openName = open->name ? open->name : "";
    for (size_t i = gTags.size(); i-- > 0;) {
        if (gTags[i].tag != open) continue;
        gFault.openFile = gTags[i].file;
        gFault.openOffset = gTags[i].offset;
        break;
    }
}

const std::string& scriptFileText(const std::string& file)
{
    auto found = gTexts.find(file);
    if (found != gTexts.end()) return found->second;
    std::string text;
    char path[512];
    if (locateDataFile(file.c_str(), path, sizeof path)) {
        std::ifstream in(platform::filePath(path), std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        text = all.str();
    }
    return gTexts.emplace(file, std::move(text)).first->second;
}

void setScriptFileText(const std::string& file, const std::string& text)
{
    gTexts[file] = text;
    gLineStarts.erase(file);
}

sScriptPlace placeIn(const std::string& file, long offset)
{
    sScriptPlace place;
    place.file = file;
    place.offset = offset;
    const std::string& text = scriptFileText(file);
    if (offset < 0 || size_t(offset) > text.size()) return place;
    auto known = gLineStarts.find(file);
    if (known == gLineStarts.end()) {
        std::vector<size_t> starts{0};
        for (size_t i = 0; i < text.size(); ++i)
            if (text[i] == '\n') starts.push_back(i + 1);
        known = gLineStarts.emplace(file, std::move(starts)).first;
    }
    const std::vector<size_t>& starts = known->second;
    const size_t line = size_t(std::upper_bound(starts.begin(), starts.end(), size_t(offset)) - starts.begin());
    place.line = static_cast<int>(line);
    place.column = static_cast<int>(size_t(offset) - starts[line - 1]) + 1;
    return place;
}

sScriptPlace tagPlace(const cXmlTag* tag)
{
    if (gTagIndex.size() != gTags.size()) {
        gTagIndex.clear();
        for (size_t i = 0; i < gTags.size(); ++i) gTagIndex.emplace(gTags[i].tag, i);
    }
    const auto found = gTagIndex.find(tag);
    if (found == gTagIndex.end()) return sScriptPlace();
    const sTagNote& note = gTags[found->second];
    return placeIn(fileName(note.file), note.offset);
}

void noteReadFaultAt(eReadFault kind, const cXmlTag* tag, const std::string& name)
{
    if (gFault.kind != eReadFault::none) return;
    for (size_t i = gTags.size(); i-- > 0;) {
        if (gTags[i].tag != tag) continue;
        gFault.kind = kind;
        gFault.file = gTags[i].file;
        gFault.offset = gTags[i].offset;
        gFault.name = name;
        return;
    }
}

std::string describeReadFault()
{
    if (gFault.kind == eReadFault::none) return "";
    const std::string file = fileName(gFault.file);
    const sScriptPlace at = placeIn(file, gFault.offset);
    const std::string& name = gFault.name;
    std::string what;
    switch (gFault.kind) {
    case eReadFault::none:
        break;
    case eReadFault::unclosedTag:
        what = "a '<' that no '>' closes: every tag ends with '>'";
        break;
    case eReadFault::tagWithoutName:
        what = "a tag without a name: expected a letter after '<'";
        break;
    case eReadFault::endTagMismatch: {
        const std::string& open = gFault.openName;
        what = "</" + name + "> does not close the open tag <" + open + ">";
        if (gFault.openFile >= 0) what += " (" + placeIn(fileName(gFault.openFile), gFault.openOffset).text() + ")";
        what += ": expected </" + open + ">";
        break;
    }
    case eReadFault::quoteOutOfPlace:
        what = "a '\"' where an attribute name was expected: attributes are written name=\"value\"";
        break;
    case eReadFault::openingInsideTag:
        what = "a '<' inside the tag <" + name + ">: is that tag's '>' missing?";
        break;
    case eReadFault::unquotedValue:
        what = "the value of " + name + " must be in quotes";
        break;
    case eReadFault::unclosedValue:
        what = "the value of " + name + " has no closing quote";
        break;
    case eReadFault::includeTooDeep:
        what = "includes nested too deep: do the files include each other?";
        break;
    }
    std::string lines = at.text() + ": " + what + "\n";
    // A comment is read as a tag named after its first word, which then
    // stays open; what fails is usually further on. Name the comment.
    const std::string& text = scriptFileText(file);
    const size_t searchFrom = gFault.offset < 0 ? 0 : size_t(gFault.offset) + 3;
    const size_t comment = text.rfind("<!--", searchFrom);
    if (comment != std::string::npos)
        lines += placeIn(file, long(comment)).text() +
                 ": the player does not read <!-- comments -->: it takes one for a tag; remove it\n";
    return lines;
}
