// The two exports of irisloom: it makes one effect type, "webcam".
#include "common/effect/effect.h"
#include "webcam/webcam.h"

#include <new>
#include <strings.h>

namespace {

bool isWebcam(const char* typeName) { return typeName && strcasecmp(typeName, "webcam") == 0; }

} // namespace

KX_PLUGIN_EXPORT bool hasFX(const char* typeName) { return isWebcam(typeName); }

KX_PLUGIN_EXPORT cEffect* getFX(const char* typeName)
{
    // The player has no exceptions: an effect whose construction cannot get
    // its memory is null, like an unknown type.
    try {
        return isWebcam(typeName) ? new (std::nothrow) cWebcam() : nullptr;
    } catch (...) {
        return nullptr;
    }
}
