// The script records: one element (cXmlTag) with its ordered params
// (cXmlParam) and ordered children, and the typed readers through which every
// configurable object takes its settings from a tag.
//
// A document is a tree under a root tag (empty name, no parent). The root owns
// an arena from which every tag, param and string of its tree is allocated, so
// a script of thousands of events costs little more than its own text; names
// and values read from a file point into that file's text, which the document
// keeps. Destroying the root frees the whole tree at once.
#pragma once

#include <cstddef>
#include <new>

class cXmlArena;

// Field widths of the script format: longer names and values are cut to these.
enum : int {
    kXmlTagNameMax = 63,
    kXmlParamNameMax = 31,
    kXmlValueMax = 2047,
};

struct sVec3 {
    float x, y, z;
};
struct sVec4 {
    float x, y, z, w;
};

class cXmlParam {
public:
    const char* name = "";
    const char* value = "";
    cXmlParam* next = nullptr;
};

class cXmlTag {
public:
    cXmlTag() = default; // an empty root
    ~cXmlTag();

    cXmlTag(const cXmlTag&) = delete;
    cXmlTag& operator=(const cXmlTag&) = delete;

    const char* name = "";
    cXmlTag* parent = nullptr;
    cXmlParam* firstParam = nullptr;
    cXmlTag* firstChild = nullptr;
    cXmlTag* next = nullptr; // next sibling

    // Range-for over the params or the children, in document order.
    template <class T> struct Range {
        T* first;
        struct It {
            T* p;
            T* operator*() const { return p; }
            It& operator++()
            {
                p = p->next;
                return *this;
            }
            bool operator!=(const It& o) const { return p != o.p; }
        };
        It begin() const { return {first}; }
        It end() const { return {nullptr}; }
    };
    Range<cXmlParam> params() const { return {firstParam}; }
    Range<cXmlTag> children() const { return {firstChild}; }
    int childCount() const;
    int paramCount() const;
    cXmlTag* lastChild() const;
    cXmlParam* lastParam() const;

    bool isRoot() const { return parent == nullptr; }
    bool nameIs(const char* other) const;

    // Typed readers: each looks for the first param of that name (ignoring case).
    const cXmlParam* findParam(const char* paramName) const;
    const char* getString(const char* paramName) const; // null when absent
    int getInt(const char* paramName) const;            // 0 when absent
    float getFloat(const char* paramName) const;        // 0 when absent
    sVec3 getVec3(const char* paramName) const;         // "%f,%f,%f"
    sVec4 getVec4(const char* paramName) const;         // "%f,%f,%f,%f"

    // Building a tree by hand (the reader uses these too). Strings are copied
    // into the document, cut to the field widths.
    cXmlTag* addChild(const char* childName);
    cXmlParam* addParam(const char* paramName, const char* paramValue);
    // Appends an already made tag or param (from this document's arena).
    void appendChild(cXmlTag* child, cXmlTag* after);
    void appendParam(cXmlParam* param, cXmlParam* after);

    // The root's arena; created on first use. Only roots own one, and a
    // tree has one root and up to hundreds of thousands of tags: the root's
    // arena is kept beside it (xml_tag.cpp), not in a field of every tag.
    cXmlArena& arena();

    // Lenient number readers shared with every other reader of script text.
    static int toInt(const char* text);
    static float toFloat(const char* text);
};

// Bump allocator of a document: tags, params, strings and adopted file texts.
class cXmlArena {
public:
    cXmlArena() = default;
    ~cXmlArena();
    cXmlArena(const cXmlArena&) = delete;
    cXmlArena& operator=(const cXmlArena&) = delete;

    cXmlTag* newTag();
    cXmlParam* newParam();
    // A NUL-terminated copy of at most maxLength bytes of text.
    const char* copyString(const char* text, size_t length, size_t maxLength);
    // The arena frees the buffer (allocated with new[]) with the document.
    void adopt(unsigned char* buffer);

    size_t bytesReserved() const { return reserved_; }

private:
    // Bumps the cursor; a new block when the current one is full.
    void* allocate(size_t bytes, size_t align)
    {
        const size_t at = (reinterpret_cast<size_t>(cursor_) + align - 1) & ~(align - 1);
        if (cursor_ && at + bytes <= reinterpret_cast<size_t>(limit_)) {
            cursor_ = reinterpret_cast<char*>(at + bytes);
            return reinterpret_cast<void*>(at);
        }
        return allocateInNewBlock(bytes, align);
    }
    void* allocateInNewBlock(size_t bytes, size_t align);

    struct Block {
        Block* next;
        size_t size;
    };
    Block* blocks_ = nullptr;
    char* cursor_ = nullptr;
    char* limit_ = nullptr;
    size_t reserved_ = 0;

    struct Adopted {
        Adopted* next;
        unsigned char* buffer;
    };
    Adopted* adopted_ = nullptr;
};

// Every tag and param of a document comes from here: inline, since a big
// script makes hundreds of thousands.
inline cXmlTag* cXmlArena::newTag() { return new (allocate(sizeof(cXmlTag), alignof(cXmlTag))) cXmlTag(); }

inline cXmlParam* cXmlArena::newParam()
{
    return new (allocate(sizeof(cXmlParam), alignof(cXmlParam))) cXmlParam();
}
