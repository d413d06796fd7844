#include "common/script/xml_tag.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <strings.h>
#include <unordered_map>

// ---- cXmlArena -------------------------------------------------------------

namespace {
constexpr size_t kFirstBlock = 16 * 1024;
// Small enough that the unused end of the last block stays a small part of
// a big document.
constexpr size_t kMaxBlock = 256 * 1024;
} // namespace

cXmlArena::~cXmlArena()
{
    // The adopted records live inside the blocks: free their buffers first.
    for (Adopted* a = adopted_; a; a = a->next) delete[] a->buffer;
    while (blocks_) {
        Block* next = blocks_->next;
        std::free(blocks_);
        blocks_ = next;
    }
}

void* cXmlArena::allocateInNewBlock(size_t bytes, size_t align)
{
    // Blocks grow with the document, so a big script needs few of them.
    size_t blockSize = blocks_ ? blocks_->size * 2 : kFirstBlock;
    if (blockSize > kMaxBlock) blockSize = kMaxBlock;
    const size_t need = bytes + align + sizeof(Block);
    if (blockSize < need) blockSize = need;
    Block* block = static_cast<Block*>(std::malloc(blockSize));
    if (!block) throw std::bad_alloc();
    block->next = blocks_;
    block->size = blockSize;
    blocks_ = block;
    reserved_ += blockSize;
    cursor_ = reinterpret_cast<char*>(block + 1);
    limit_ = reinterpret_cast<char*>(block) + blockSize;
    uintptr_t p = reinterpret_cast<uintptr_t>(cursor_);
    p = (p + align - 1) & ~(uintptr_t(align) - 1);
    cursor_ = reinterpret_cast<char*>(p + bytes);
    return reinterpret_cast<void*>(p);
}

const char* cXmlArena::copyString(const char* text, size_t length, size_t maxLength)
{
    if (length > maxLength) length = maxLength;
    char* s = static_cast<char*>(allocate(length + 1, 1));
    if (length) std::memcpy(s, text, length);
    s[length] = 0;
    return s;
}

void cXmlArena::adopt(unsigned char* buffer)
{
    if (!buffer) return;
    Adopted* a = static_cast<Adopted*>(allocate(sizeof(Adopted), alignof(Adopted)));
    a->buffer = buffer;
    a->next = adopted_;
    adopted_ = a;
}

// ---- cXmlTag ---------------------------------------------------------------

namespace {

// The arena of every root tag that has one. Never destroyed, so that a root
// destroyed during the program's exit still finds it.
struct sArenas {
    std::mutex lock;
    std::unordered_map<const cXmlTag*, cXmlArena*> of;
};
sArenas& arenas()
{
    static sArenas* all = new sArenas();
    return *all;
}

} // namespace

cXmlTag::~cXmlTag()
{
    // Only a root owns anything: the arena holding its whole tree. Tags made
    // in an arena are never destroyed one by one.
    sArenas& all = arenas();
    cXmlArena* owned = nullptr;
    {
        std::lock_guard<std::mutex> hold(all.lock);
        const auto found = all.of.find(this);
        if (found == all.of.end()) return;
        owned = found->second;
        all.of.erase(found);
    }
    delete owned;
}

cXmlArena& cXmlTag::arena()
{
    const cXmlTag* root = this;
    while (root->parent) root = root->parent;
    sArenas& all = arenas();
    std::lock_guard<std::mutex> hold(all.lock);
    cXmlArena*& arena = all.of[root];
    if (!arena) arena = new cXmlArena();
    return *arena;
}

int cXmlTag::childCount() const
{
    int n = 0;
    for (const cXmlTag* c = firstChild; c; c = c->next) ++n;
    return n;
}

int cXmlTag::paramCount() const
{
    int n = 0;
    for (const cXmlParam* p = firstParam; p; p = p->next) ++n;
    return n;
}

cXmlTag* cXmlTag::lastChild() const
{
    cXmlTag* c = firstChild;
    while (c && c->next) c = c->next;
    return c;
}

cXmlParam* cXmlTag::lastParam() const
{
    cXmlParam* p = firstParam;
    while (p && p->next) p = p->next;
    return p;
}

void cXmlTag::appendChild(cXmlTag* child, cXmlTag* after)
{
    child->parent = this;
    child->next = nullptr;
    if (after)
        after->next = child;
    else
        firstChild = child;
}

void cXmlTag::appendParam(cXmlParam* param, cXmlParam* after)
{
    param->next = nullptr;
    if (after)
        after->next = param;
    else
        firstParam = param;
}

cXmlTag* cXmlTag::addChild(const char* childName)
{
    cXmlArena& a = arena();
    cXmlTag* tag = a.newTag();
    tag->name = a.copyString(childName, std::strlen(childName), kXmlTagNameMax);
    appendChild(tag, lastChild());
    return tag;
}

cXmlParam* cXmlTag::addParam(const char* paramName, const char* paramValue)
{
    cXmlArena& a = arena();
    cXmlParam* p = a.newParam();
    p->name = a.copyString(paramName, std::strlen(paramName), kXmlParamNameMax);
    p->value = a.copyString(paramValue, std::strlen(paramValue), kXmlValueMax);
    appendParam(p, lastParam());
    return p;
}

bool cXmlTag::nameIs(const char* other) const { return strcasecmp(name, other) == 0; }

const cXmlParam* cXmlTag::findParam(const char* paramName) const
{
    for (const cXmlParam* p = firstParam; p; p = p->next)
        if (strcasecmp(p->name, paramName) == 0) return p;
    return nullptr;
}

const char* cXmlTag::getString(const char* paramName) const
{
    const cXmlParam* p = findParam(paramName);
    return p ? p->value : nullptr;
}

int cXmlTag::toInt(const char* text)
{
    // Leading blanks, an optional sign, digits up to the first other
    // character; out-of-range values saturate instead of overflowing.
    errno = 0;
    const long v = std::strtol(text, nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

float cXmlTag::toFloat(const char* text)
{
    // Decimal only, like toInt: after blanks and a sign a digit (or a point
    // and a digit) must follow. strtof alone would also take "inf", "nan"
    // and hexadecimal, so a word like "infinite" would not read as 0.
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (*p == '+' || *p == '-') ++p;
    const bool number = std::isdigit(static_cast<unsigned char>(p[0])) ||
                        (p[0] == '.' && std::isdigit(static_cast<unsigned char>(p[1])));
    if (!number || (p[0] == '0' && (p[1] == 'x' || p[1] == 'X'))) return 0.0f;
    return std::strtof(text, nullptr);
}

int cXmlTag::getInt(const char* paramName) const
{
    const char* v = getString(paramName);
    return v ? toInt(v) : 0;
}

float cXmlTag::getFloat(const char* paramName) const
{
    const char* v = getString(paramName);
    return v ? toFloat(v) : 0.0f;
}

sVec3 cXmlTag::getVec3(const char* paramName) const
{
    sVec3 r{0, 0, 0};
    if (const char* v = getString(paramName)) std::sscanf(v, "%f,%f,%f", &r.x, &r.y, &r.z);
    return r;
}

sVec4 cXmlTag::getVec4(const char* paramName) const
{
    sVec4 r{0, 0, 0, 0};
    if (const char* v = getString(paramName)) std::sscanf(v, "%f,%f,%f,%f", &r.x, &r.y, &r.z, &r.w);
    return r;
}
