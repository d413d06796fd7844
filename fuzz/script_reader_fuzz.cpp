// Fuzzes the script reader: parses the input as a script, walks the tree
// through the typed readers, and reads the params of a slice of the input as
// one start tag. Besides the sanitizers, it checks the shape every tree must
// have whatever the input: names and values within their field widths, names
// made of the right characters, parent links that match.
//
// Include tags name files under data/ of the working folder; tools/fuzz.sh
// runs this in a temporary folder of its own.

#include "common/media/stream.h"
#include "common/script/xml_tag.h"
#include "fuzz/fuzz_check.h"
#include "player/script_check.h"
#include "player/script_places.h"
#include "player/script_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool isLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
bool isNameChar(unsigned char c) { return isLetter(c) || (c >= '0' && c <= '9'); }

// Runs every typed reader on the names a tag actually has, plus two that
// scripts use everywhere.
void readTyped(const cXmlTag* tag)
{
    volatile float sink = 0;
    int asked = 0;
    for (const cXmlParam* p : tag->params()) {
        if (++asked > 3) break;
        const char* value = tag->getString(p->name);
        check(value != nullptr, "getString misses a param the tag has");
        sink = sink + static_cast<float>(tag->getInt(p->name)) + tag->getFloat(p->name);
        const sVec3 v3 = tag->getVec3(p->name);
        const sVec4 v4 = tag->getVec4(p->name);
        sink = sink + v3.x + v3.y + v3.z + v4.x + v4.y + v4.z + v4.w;
    }
    check(tag->firstParam == nullptr || tag->getString(tag->firstParam->name) == tag->firstParam->value,
          "getString does not give the first param of its name");
    sink = sink + static_cast<float>(tag->getInt("time")) + tag->getFloat("speed");
    (void)tag->getString("file");
    (void)sink;
}

void checkParams(const cXmlTag* tag, bool fromDocument)
{
    for (const cXmlParam* p : tag->params()) {
        check(p->name && p->value, "null param field");
        const size_t nameLength = std::strlen(p->name);
        check(nameLength <= static_cast<size_t>(kXmlParamNameMax), "param name too long");
        for (size_t i = 0; i < nameLength; ++i)
            check(isLetter(static_cast<unsigned char>(p->name[i])), "param name holds a non-letter");
        const size_t valueLength = std::strlen(p->value);
        check(valueLength <= static_cast<size_t>(kXmlValueMax), "value too long");
        check(std::memchr(p->value, '"', valueLength) == nullptr, "value holds a quote");
        // Inside a document a tag ends at its first ">", so no value holds one.
        if (fromDocument) check(std::memchr(p->value, '>', valueLength) == nullptr, "value holds a >");
    }
}

void walk(const cXmlTag* root)
{
    std::vector<const cXmlTag*> pending{root};
    while (!pending.empty()) {
        const cXmlTag* tag = pending.back();
        pending.pop_back();
        if (tag != root) {
            const size_t nameLength = std::strlen(tag->name);
            check(nameLength > 0 && nameLength <= static_cast<size_t>(kXmlTagNameMax), "tag name length");
            check(isLetter(static_cast<unsigned char>(tag->name[0])), "tag name starts with a non-letter");
            for (size_t i = 0; i < nameLength; ++i)
                check(isNameChar(static_cast<unsigned char>(tag->name[i])), "tag name holds a non-name character");
            check(!tag->nameIs("include"), "an include tag stayed in the tree");
        }
        checkParams(tag, true);
        readTyped(tag);
        for (const cXmlTag* child : tag->children()) {
            check(child->parent == tag, "child's parent link is wrong");
            pending.push_back(child);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 24)) return 0;

    {
        cXmlTag root;
        cMemoryStream source(data, static_cast<int>(size));
        const int rc = parse(&root, source);
        check(rc == 0 || rc == -1, "parse result");
        check(root.isRoot() && root.name[0] == 0, "root changed");
        check(std::strlen(lastError()) < 1024, "last error text");
        walk(&root);
        // What a person is told about the text: the place of a fault, and
        // the checks of the tree and of the raw text (comments, values
        // without quotes).
        setScriptFileText("", std::string(reinterpret_cast<const char*>(data), size));
        const std::string fault = describeReadFault();
        check(rc == 0 || fault.empty() || fault.back() == '\n', "fault description");
        for (const sDiagnostic& d : checkScript(&root, {""}, sCheckOptions()))
            check(!d.text.empty() && d.place.line >= 0, "diagnostic");
    }

    // The params of a slice of the input read as one start tag; the slice
    // is chosen by the first two bytes.
    if (size >= 2) {
        const size_t offset = data[0] % size;
        size_t length = size - offset;
        if (data[1] & 1) length = length * data[1] / 255;
        cXmlTag tag;
        const int rc = parseParams(&tag, reinterpret_cast<const char*>(data) + offset, static_cast<int>(length));
        check(rc == 0 || rc == -1, "parseParams result");
        checkParams(&tag, false);
        readTyped(&tag);
    }
    return 0;
}
