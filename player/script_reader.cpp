#include "player/script_reader.h"

#include "common/media/stream.h"
#include "player/script_places.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <vector>

namespace {

char gLastError[1024];
// Where and why readParams stopped, for the place of the message.
const char* gParamFaultAt = nullptr;
eReadFault gParamFault = eReadFault::none;
std::string gParamFaultName;

int paramFault(eReadFault kind, const char* at, const char* name = nullptr, const char* nameEnd = nullptr)
{
    gParamFault = kind;
    gParamFaultAt = at;
    gParamFaultName.assign(name ? name : "", name && nameEnd > name ? static_cast<size_t>(nameEnd - name) : 0);
    std::printf("**** ILLEGAL ****\n");
    return -1;
}
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

// Character classes of the scan inside a start tag: the characters that end
// a scan step, and the letters of a param name.
enum : unsigned char { kStop = 1, kLetter = 2 };
struct ParamClasses {
    unsigned char of[256] = {};
    ParamClasses()
    {
        for (unsigned char c : {'"', '>', '<', '=', '/'}) of[c] = kStop;
        for (int c = 0; c < 256; ++c)
            if (isLetter(static_cast<unsigned char>(c))) of[c] = kLetter;
    }
};
const ParamClasses kParam;

// The next double quote in [p, end), or null. Values are short: sixteen
// bytes at a time without the call that memchr costs.
inline char* findQuote(char* p, const char* end)
{
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    for (; end - p >= 16; p += 16) {
        const int found =
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), quote));
        if (found) return p + __builtin_ctz(static_cast<unsigned>(found));
    }
#endif
    for (; p < end; ++p)
        if (*p == '"') return p;
    return nullptr;
}

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
int readParams(cXmlTag* tag, cXmlArena& arena, char* text, int length, bool inPlace)
{
    if (length <= 0) return 0;
    const char* end = text + length;
    char* point = text;
    if (findLetter(point, end) >= end) return 0;

    cXmlParam* last = tag->lastParam();
    for (;;) {
        // One pass finds the name (the first run of letters after the
        // current point) and the first stop character after it, which is the
        // first after the point as letters are none. A stop character before
        // any letter takes the general way.
        char* stop = point;
        while (stop < end && !kParam.of[static_cast<unsigned char>(*stop)]) ++stop;
        char* nameStart;
        char* nameEnd;
        if (stop < end && kParam.of[static_cast<unsigned char>(*stop)] == kLetter) {
            nameStart = stop;
            nameEnd = nameStart + 1;
            while (nameEnd < end && kParam.of[static_cast<unsigned char>(*nameEnd)] == kLetter) ++nameEnd;
            stop = nameEnd;
            while (stop < end && kParam.of[static_cast<unsigned char>(*stop)] != kStop) ++stop;
        } else {
            nameStart = const_cast<char*>(findLetter(point, end));
            nameEnd = nameStart;
            while (nameEnd < end && isLetter(static_cast<unsigned char>(*nameEnd))) ++nameEnd;
        }
        if (stop >= end || *stop == '/' || *stop == '>') return 0;
        if (*stop != '=')
            return paramFault(*stop == '<' ? eReadFault::openingInsideTag : eReadFault::quoteOutOfPlace, stop);
        // The value: between the first quote after "=" and the next quote.
        char* open = findQuote(stop + 1, end);
        char* close = open ? findQuote(open + 1, end) : nullptr;
        if (!close) {
            // A value without its quotes cannot be told from the rest of the tag.
            const char* value = stop + 1;
            while (value < end && (*value == ' ' || *value == '\t' || *value == '\r' || *value == '\n')) ++value;
            return paramFault(value == open ? eReadFault::unclosedValue : eReadFault::unquotedValue, value, nameStart,
                              nameEnd);
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

int parseSource(cXmlTag* parent, cMemoryStream& source, int includeDepth, const char* file);

// Parses every `file` of a finished include tag into the include's parent.
int runInclude(cXmlTag* include, int includeDepth)
{
    for (const cXmlParam* p : include->params()) {
        if (strcasecmp(p->name, "file") != 0) continue;
        if (includeDepth >= kMaxIncludeDepth) {
            recordError("ERROR: include [%s] nested too deep", p->value);
            noteReadFaultAt(eReadFault::includeTooDeep, include, p->value);
            return -1;
        }
        noteFileRead(p->value);
        cMemoryStream file(p->value);
        if (parseSource(include->parent, file, includeDepth + 1, p->value) != 0) return -1;
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

int parseSource(cXmlTag* parent, cMemoryStream& source, int includeDepth, const char* file)
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
            noteReadFault(eReadFault::unclosedTag, file, lt - text);
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
            noteReadFault(eReadFault::tagWithoutName, file, lt - text);
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
            noteReadFault(eReadFault::endTagMismatch, file, lt - text, std::string(nameStart, nameLength), top.tag);
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
            noteTagPlace(include, file, lt - text);
            readParams(include, arena, nameEnd, paramsLength, false); // a failure here is ignored
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
        noteTagPlace(tag, file, lt - text);
        const int paramResult = readParams(tag, arena, nameEnd, paramsLength, true);
        // The name is terminated only now, since the params were read past it.
        tag->name = makeField(arena, nameStart, nameLength, kXmlTagNameMax, nameTerminatorFree);
        if (paramResult != 0) {
            recordError("ERROR: tag [%s] couldn't be read params", tag->name);
            noteReadFault(gParamFault, file, gParamFaultAt - text,
                          gParamFault == eReadFault::openingInsideTag ? std::string(tag->name) : gParamFaultName);
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
    return readParams(tag, tag->arena(), const_cast<char*>(text), length, false);
}

int parse(cXmlTag* parent, cMemoryStream& source)
{
    // Each read starts afresh: its places, and what lastError() says, are this read's.
    clearScriptPlaces();
    gLastError[0] = '\0';
    return parseSource(parent, source, 0, "");
}

int loadFile(cXmlTag* root, const char* path)
{
    clearScriptPlaces();
    gLastError[0] = '\0';
    noteFileRead(path);
    cMemoryStream source(path);
    if (source.eof() || source.size() < 4) {
        recordError("couldn't find %s", path);
        return -1;
    }
    return parseSource(root, source, 0, path);
}

const char* lastError() { return gLastError; }

void recordFilesRead(std::vector<std::string>* names) { gFilesRead = names; }
