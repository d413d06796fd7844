// The two exports of lumafold: which effect types it makes, and making one.
#include "common/effect.h"
#include "effects/clear.h"
#include "effects/flash.h"

#include <new>
#include <strings.h>

namespace {

struct sEffectType {
    const char* name;
    cEffect* (*make)();  // null: the type is known but not built into this library yet
};

template <class T> cEffect* make() { return new (std::nothrow) T(); }

const sEffectType kTypes[] = {
    {"clear", &make<cClear>},
    {"flash", &make<cFlash>},
    {"picture", nullptr},
    {"fontcool", nullptr},
    {"musicplay", nullptr},
};

const sEffectType* findType(const char* typeName)
{
    if (!typeName) return nullptr;
    for (const sEffectType& t : kTypes)
        if (strcasecmp(t.name, typeName) == 0) return &t;
    return nullptr;
}

} // namespace

KX_PLUGIN_EXPORT bool hasFX(const char* typeName)
{
    return findType(typeName) != nullptr;
}

KX_PLUGIN_EXPORT cEffect* getFX(const char* typeName)
{
    const sEffectType* t = findType(typeName);
    return t && t->make ? t->make() : nullptr;
}
