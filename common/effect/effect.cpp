#include "common/effect/effect.h"

#include "common/effect/render_state.h"
#include "common/script/xml_tag.h"

#include <cstdio>
#include <cstdlib>
#include <strings.h>

const char* paramTypeWord(unsigned type)
{
    static const char* const words[] = {"texture", "camera", "vec4f", "vec3f", "integer", "boolean", "float"};
    return type < sizeof words / sizeof words[0] ? words[type] : "unknown";
}

cEffect::cEffect() : renderState(new cRenderState()) { }

cEffect::~cEffect() { delete renderState; }

int cEffect::doXML(cXmlTag* element)
{
    for (const cXmlParam* p : element->params()) {
        if (strcasecmp(p->name, "active") == 0)
            active = cXmlTag::toInt(p->value) != 0;
        else if (strcasecmp(p->name, "speed") == 0)
            speed = cXmlTag::toFloat(p->value);
    }
    for (cXmlTag* child : element->children())
        if (child->nameIs("gl")) renderState->doXML(child);
    return 0;
}

int cEffect::resize(int newWidth, int newHeight)
{
    width = static_cast<float>(newWidth);
    height = static_cast<float>(newHeight);
    return 0;
}

void cEffect::setName(const char* text) { std::snprintf(name, sizeof name, "%s", text ? text : ""); }

void cEffect::setType(const char* text) { std::snprintf(type, sizeof type, "%s", text ? text : ""); }

void readHexColour(const char* text, float rgba[4])
{
    // One hexadecimal number, an optional "0x" in front; text without a
    // number reads as 0, and too many digits saturate instead of overflowing.
    const unsigned long parsed = text ? std::strtoul(text, nullptr, 16) : 0;
    const unsigned v = parsed > 0xffffffffUL ? 0xffffffffu : static_cast<unsigned>(parsed);
    rgba[0] = float((v >> 16) & 0xff) / 255.0f;
    rgba[1] = float((v >> 8) & 0xff) / 255.0f;
    rgba[2] = float(v & 0xff) / 255.0f;
    rgba[3] = float((v >> 24) & 0xff) / 255.0f;
}
