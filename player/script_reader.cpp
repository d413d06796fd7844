#include "player/script_reader.h"

#include "common/media/stream.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <vector>

namespace {

char gLastError[1024];
std::vector<std::string>* gFilesRead = nullptr;

void noteFileRead(const char* name)
{
    if (gFilesRead) gFilesRead->emplace_back(name);
}

// Error texts quote at most ten characters of the offending text; the quoted
// text ends at the end of the loaded text or at a NUL, whichever comes first.
constexpr int kQuoted = 10;

void recordError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(gLastError, sizeof gLastError, format, args);
    va_end(args);
}

int quotedLength(const char* text, const char* end)
{
    const long n = end - text;
    return n < kQuoted ? static_cast<int>(n < 0 ? 0 : n) : kQuoted;
}

inline bool isLetter(unsigned char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
inline bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool isNameChar(unsigned char c) { return isLetter(c) || isDigit(c); }

// The characters that end a scan step inside a start tag.
struct ParamStops {
    bool stop[256] = {};
    ParamStops()
    {
        for (unsigned char c : {'"', '>', '<', '=', '/'}) stop[c] = true;
    }
};
const ParamStops kParamStops;

const char* findLetter(const char* p, const char* end)
{
    while (p < end && !isLetter(static_cast<unsigned char>(*p))) ++p;
    return p;
}

bool sameName(const char* a, size_t aLength, const char* b)
{
    if (aLength > static_cast<size_t>(kXmlTagNameMax)) aLength = kXmlTagNameMax;
    return std::strlen(b) == aLength && strncasecmp(a, b, aLength) == 0;
}

// Includes can name each other; past this depth the reader stops instead of
// following a loop until memory or stack runs out.
constexpr int kMaxIncludeDepth = 16;

// Makes a string field for text[0, length). In a document's own text the
// terminator can be written in place when the byte after the field is no
// longer needed (`terminatorFree`); otherwise the string is copied.
const char* makeField(cXmlArena& arena, char* text, size_t length, size_t maxLength, bool terminatorFree)
{
    if (terminatorFree) {
        text[length < maxLength ? length : maxLength] = 0;
        return text;
    }
    return arena.copyString(text, length, maxLength);
}

// The params of one start tag. `inPlace` is set when `text` belongs to the
// document's own text, so fields can point into it.
int readParams(cXmlTag* tag, char* text, int length, bool inPlace)
{
    if (length <= 0) return 0;
    const char* end = text + length;
    char* point = text;
    if (findLetter(point, end) >= end) return 0;

    cXmlArena& arena = tag->arena();
    cXmlParam* last = tag->lastParam();
    for (;;) {
        char* stop = point;
        while (stop < end && !kParamStops.stop[static_cast<unsigned char>(*stop)]) ++stop;
        if (stop >= end || *stop == '/' || *stop == '>') return 0;
        if (*stop != '=') {
            std::printf("**** ILLEGAL ****\n");
            return -1;
        }
        // The name: the first run of letters after the current point.
        char* nameStart = const_cast<char*>(findLetter(point, end));
        char* nameEnd = nameStart;
        while (nameEnd < end && isLetter(static_cast<unsigned char>(*nameEnd))) ++nameEnd;
        // The value: between the first quote after "=" and the next quote.
        char* open = static_cast<char*>(std::memchr(stop + 1, '"', static_cast<size_t>(end - stop - 1)));
        char* close =
            open ? static_cast<char*>(std::memchr(open + 1, '"', static_cast<size_t>(end - open - 1))) : nullptr;
        if (!close) {
            // A value without its quotes cannot be told from the rest of the tag.
            std::printf("**** ILLEGAL ****\n");
            return -1;
        }
        cXmlParam* param = arena.newParam();
        param->name = makeField(arena, nameStart, static_cast<size_t>(nameEnd - nameStart), kXmlParamNameMax,
                                inPlace && nameEnd <= stop);
        param->value = makeField(arena, open + 1, static_cast<size_t>(close - open - 1), kXmlValueMax, inPlace);
        tag->appendParam(param, last);
        last = param;
        point = close + 1;
        if (point >= end) return 0;
    }
}

struct Level {
    cXmlTag* tag;
    cXmlTag* last; // last child, for appending
    bool include;  // a temporary include tag: its content is discarded
};

int parseSource(cXmlTag* parent, cMemoryStream& source, int includeDepth);

// Parses every `file` of a finished include tag into the include's parent.
int runInclude(cXmlTag* include, int includeDepth)
{
    for (const cXmlParam* p : include->params()) {
        if (strcasecmp(p->name, "file") != 0) continue;
        if (includeDepth >= kMaxIncludeDepth) {
            recordError("ERROR: include [%s] nested too deep", p->value);
            return -1;
        }
        noteFileRead(p->value);
        cMemoryStream file(p->value);
        if (parseSource(include->parent, file, includeDepth + 1) != 0) return -1;
    }
    return 0;
}

// After a failure inside the content of open tags, the outermost tag that
// this call opened names the failure (include tags record nothing).
int failInside(const std::vector<Level>& stack)
{
    for (size_t i = 1; i < stack.size(); ++i) {
        if (!stack[i].include) {
            recordError("ERROR: tag [%s] couldn't be read", stack[i].tag->name);
            break;
        }
    }
    return -1;
}

int parseSource(cXmlTag* parent, cMemoryStream& source, int includeDepth)
{
    cXmlArena& arena = parent->arena();
    char* const text = reinterpret_cast<char*>(source.data());
    const int size = static_cast<int>(source.size());
    // The document keeps the text, since names and values point into it.
    arena.adopt(source.releaseBuffer());

    int pos = source.tell();
    if (pos < 0) pos = 0;
    const char* const end = text + size;

    std::vector<Level> stack;
    stack.push_back({parent, parent->lastChild(), false});

    int result = 0;
    while (pos < size) {
        char* from = text + pos;
        char* lt = static_cast<char*>(std::memchr(from, '<', static_cast<size_t>(size - pos)));
        if (!lt) {
            recordError("XML Error expected < [%.*s]\n", quotedLength(from, end), from);
            break; // trailing text ends the document
        }
        char* gt = static_cast<char*>(std::memchr(lt + 1, '>', static_cast<size_t>(end - lt - 1)));
        if (!gt) {
            recordError("XML Error expected > [%.*s]\n", quotedLength(from, end), from);
            result = failInside(stack);
            break;
        }
        const bool selfClosing = gt[-1] == '/' && gt - 1 > lt;
        char* inner = lt + 1;
        char* innerEnd = selfClosing ? gt - 1 : gt;
        const bool endTag = !selfClosing && inner[0] == '/';
        pos = static_cast<int>(gt + 1 - text);

        char* nameStart = const_cast<char*>(findLetter(inner, innerEnd));
        if (nameStart >= innerEnd) {
            recordError("XML Error[%.*s]\n", quotedLength(inner, innerEnd), inner);
            result = failInside(stack);
            break;
        }
        char* nameEnd = nameStart;
        while (nameEnd < innerEnd && isNameChar(static_cast<unsigned char>(*nameEnd))) ++nameEnd;
        const size_t nameLength = static_cast<size_t>(nameEnd - nameStart);

        Level& top = stack.back();
        if (endTag) {
            if (top.tag->isRoot() || sameName(nameStart, nameLength, top.tag->name)) {
                if (stack.size() == 1) break; // the closing tag of `parent`
                const Level closed = top;
                stack.pop_back();
                if (closed.include && runInclude(closed.tag, includeDepth) != 0) {
                    result = failInside(stack);
                    break;
                }
                if (closed.include) stack.back().last = stack.back().tag->lastChild();
                continue;
            }
            recordError("XML Error </?> not equal to parent <?> ! [%.*s]\n", quotedLength(nameStart, nameEnd),
                        nameStart);
            result = failInside(stack);
            break;
        }

        // The byte after the name may be overwritten when it is a blank or
        // the end of the tag; anything else is still to be read as params.
        const bool nameTerminatorFree =
            nameEnd == innerEnd || *nameEnd == ' ' || *nameEnd == '\t' || *nameEnd == '\r' || *nameEnd == '\n';
        const int paramsLength = static_cast<int>(innerEnd - nameEnd);

        if (nameLength == 7 && strncasecmp(nameStart, "include", 7) == 0) {
            // Read into a temporary tag that is never linked into the tree.
            cXmlTag* include = arena.newTag();
            include->parent = top.tag;
            include->name = "include";
            readParams(include, nameEnd, paramsLength, false); // a failure here is ignored
            if (selfClosing) {
                if (runInclude(include, includeDepth) != 0) {
                    result = failInside(stack);
                    break;
                }
                stack.back().last = stack.back().tag->lastChild();
            } else {
                stack.push_back({include, nullptr, true});
            }
            continue;
        }

        cXmlTag* tag = arena.newTag();
        top.tag->appendChild(tag, top.last);
        top.last = tag;
        const int paramResult = readParams(tag, nameEnd, paramsLength, true);
        // The name is terminated only now, since the params were read past it.
        tag->name = makeField(arena, nameStart, nameLength, kXmlTagNameMax, nameTerminatorFree);
        if (paramResult != 0) {
            recordError("ERROR: tag [%s] couldn't be read params", tag->name);
            result = failInside(stack);
            break;
        }
        if (!selfClosing) stack.push_back({tag, nullptr, false});
    }
    // The text ended with tags still open: each one's content read ended
    // there successfully, so an open include still includes its files.
    while (result == 0 && stack.size() > 1) {
        const Level closed = stack.back();
        stack.pop_back();
        if (closed.include && runInclude(closed.tag, includeDepth) != 0) result = failInside(stack);
    }
    source.seek(pos, 0);
    return result;
}

} // namespace

int parseParams(cXmlTag* tag, const char* text, int length)
{
    // Text from outside a document is copied, never written to.
    return readParams(tag, const_cast<char*>(text), length, false);
}

int parse(cXmlTag* parent, cMemoryStream& source)
{
    // Each read starts without an error: what lastError() says is this read's.
    gLastError[0] = '\0';
    return parseSource(parent, source, 0);
}

int loadFile(cXmlTag* root, const char* path)
{
    gLastError[0] = '\0';
    noteFileRead(path);
    cMemoryStream source(path);
    if (source.eof() || source.size() < 4) {
        recordError("couldn't find %s", path);
        return -1;
    }
    return parse(root, source);
}

const char* lastError() { return gLastError; }

void recordFilesRead(std::vector<std::string>* names) { gFilesRead = names; }
