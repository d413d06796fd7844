// The two exports of lumafold: which effect types it makes, and making one.
#include "common/effect/effect.h"
#include "effects/clear.h"
#include "effects/flash.h"
#include "effects/fontcool.h"
#include "effects/music_play.h"
#include "effects/picture.h"
#include "effects/shader.h"

#include <new>
#include <strings.h>

namespace {

struct sEffectType {
    const char* name;
    cEffect* (*make)();
};

template <class T> cEffect* make() { return new (std::nothrow) T(); }

const sEffectType kTypes[] = {
    {"clear", &make<cClear>},       {"flash", &make<cFlash>},         {"picture", &make<cPicture>},
    {"fontcool", &make<cFontCool>}, {"musicplay", &make<cMusicPlay>}, {"shader", &make<cShader>},
};

const sEffectType* findType(const char* typeName)
{
    if (!typeName) return nullptr;
    for (const sEffectType& t : kTypes)
        if (strcasecmp(t.name, typeName) == 0) return &t;
    return nullptr;
}

} // namespace

KX_PLUGIN_EXPORT bool hasFX(const char* typeName) { return findType(typeName) != nullptr; }

KX_PLUGIN_EXPORT cEffect* getFX(const char* typeName)
{
    // The player has no exceptions: an effect whose construction cannot get
    // its memory is null, like an unknown type.
    try {
        const sEffectType* t = findType(typeName);
        return t ? t->make() : nullptr;
    } catch (...) {
        return nullptr;
    }
}
