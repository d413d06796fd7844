#include "effects/fontcool.h"

#include "common/media/media_shelf.h"
#include "common/scene/camera.h"
#include "common/scene/named_texture.h"
#include "common/scene/scene_registry.h"
#include "common/script/xml_tag.h"
#include "platform/outline_font.h"
#include "platform/problem_report.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdio>
#include <new>
#include <strings.h>

cFontCool::cFontCool() = default;

cFontCool::~cFontCool() { unload(); }

void cFontCool::readText(cXmlTag* element, sText& text)
{
    for (const cXmlParam* p : element->params()) {
        const char* n = p->name;
        const char* v = p->value;
        if (strcasecmp(n, "string") == 0) {
            std::snprintf(text.string, sizeof text.string, "%s", v);
            std::printf("***%s\n", text.string);
        } else if (strcasecmp(n, "active") == 0) {
            text.shown = cXmlTag::toInt(v);
        } else if (strcasecmp(n, "style") == 0) {
            text.style = cXmlTag::toInt(v);
        } else if (strcasecmp(n, "tra") == 0) {
            scanFloats(v, text.position, 3);
        } else if (strcasecmp(n, "trav") == 0) {
            scanFloats(v, text.velocity, 3);
        } else if (strcasecmp(n, "color") == 0) {
            readHexColour(v, text.color);
        } else if (strcasecmp(n, "rot") == 0) {
            scanFloats(v, text.rotation, 3);
        } else if (strcasecmp(n, "sca") == 0) {
            scanFloats(v, text.scale, 3);
        } else if (strcasecmp(n, "rotv") == 0) {
            scanFloats(v, text.rotationVelocity, 3);
        } else if (strcasecmp(n, "scav") == 0) {
            scanFloats(v, text.scaleVelocity, 3);
        }
    }
}

int cFontCool::doXML(cXmlTag* element)
{
    cEffect::doXML(element);
    for (cXmlTag* child : element->children()) {
        if (!child->nameIs("text")) continue;
        // A text's active, speed and gl also set the whole effect.
        cEffect::doXML(child);
        for (const cXmlParam* p : child->params()) {
            if (strcasecmp(p->name, "num") != 0) continue;
            // Negative numbers read as large unsigned ones and are ignored.
            const unsigned num = static_cast<unsigned>(cXmlTag::toInt(p->value));
            if (num < unsigned(kMaxTexts)) readText(child, texts[num]);
        }
    }
    for (const cXmlParam* p : element->params()) {
        const char* n = p->name;
        const char* v = p->value;
        if (strcasecmp(n, "texture") == 0) {
            if (registry)
                texture = registry->loadTexture(v);
            else
                std::printf("fontcool: no scene registry for the texture %s\n", v);
        } else if (strcasecmp(n, "basefont") == 0) {
            std::snprintf(faceName, sizeof faceName, "%s", v);
        } else if (strcasecmp(n, "extrude") == 0 || strcasecmp(n, "quality") == 0) {
            // Values too large for a float would turn every letter's matrix
            // into infinities; they keep the previous setting.
            const float f = cXmlTag::toFloat(v);
            if (std::isfinite(f)) (n[0] == 'e' || n[0] == 'E' ? extrusion : deviation) = f;
        } else if (strcasecmp(n, "italics") == 0) {
            italic = cXmlTag::toInt(v);
        } else if (strcasecmp(n, "numtexts") == 0) {
            const int count = cXmlTag::toInt(v);
            textCount = count < 0 ? 0 : count > kMaxTexts ? kMaxTexts : count;
            if (textCount != count)
                std::printf("fontcool: numtexts %d is outside 0..%d, using %d\n", count, int(kMaxTexts), textCount);
        }
    }
    return 0;
}

namespace {

// Glyphs built for one face, style and shape, kept over a reload.
struct sBuiltGlyphs {
    unsigned int listBase;
    platform::GlyphMetricsFloat* glyphs;
};

void releaseGlyphs(void* item)
{
    auto* built = static_cast<sBuiltGlyphs*>(item);
    if (built->listBase) glDeleteLists(built->listBase, cFontCool::kGlyphCount);
    delete[] built->glyphs;
    delete built;
}

} // namespace

void cFontCool::glyphKey(char* key, size_t size) const
{
    std::snprintf(key, size, "glyphs %s|%d|%.9g|%.9g", faceName, italic, double(deviation), double(extrusion));
}

int cFontCool::load()
{
    unload();
    // Building the outlines takes long; while the show is rebuilt, the old
    // show's glyphs of the same font and shape are taken as they are.
    char key[128];
    glyphKey(key, sizeof key);
    if (registry && registry->shelf) {
        if (auto* built = static_cast<sBuiltGlyphs*>(registry->shelf->take("glyphs", key))) {
            listBase = built->listBase;
            glyphs = built->glyphs;
            delete built;
            for (int i = 0; i < textCount; ++i) std::printf("text%i: %s\n", i, texts[i].string);
            return textCount;
        }
    }
    glyphs = new (std::nothrow) platform::GlyphMetricsFloat[kGlyphCount]();
    if (!glyphs) {
        platform::reportProblem("fontcool: out of memory for the glyph metrics\n");
        return textCount;
    }
    listBase = glGenLists(kGlyphCount);
    if (!listBase) platform::reportProblem("fontcool: no display lists for the font %s\n", faceName);
    // Glyph 255 gets neither a list nor metrics: its record stays zero, so
    // the byte 255 draws nothing and takes no room.
    platform::useFontOutlines(faceName, italic != 0, 0, kBuiltGlyphs, listBase, deviation, extrusion, glyphs);
    for (int i = 0; i < textCount; ++i) std::printf("text%i: %s\n", i, texts[i].string);
    return textCount;
}

int cFontCool::unload()
{
    if (glyphs && registry && registry->shelf && registry->shelf->open) {
        char key[128];
        glyphKey(key, sizeof key);
        auto* built = new (std::nothrow) sBuiltGlyphs{listBase, glyphs};
        if (built && registry->shelf->put("glyphs", key, built, &releaseGlyphs)) {
            glyphs = nullptr;
            listBase = 0;
            return 0;
        }
        delete built;
    }
    if (listBase) glDeleteLists(listBase, kGlyphCount);
    delete[] glyphs;
    glyphs = nullptr;
    listBase = 0;
    return 0;
}

void cFontCool::update(float step)
{
    const float c = step * speed;
    for (int i = 0; i < textCount; ++i)
        for (int k = 0; k < 3; ++k) texts[i].position[k] += texts[i].velocity[k] * c;
}

void cFontCool::draw()
{
    // Before load there are no glyphs to draw.
    if (!glyphs || !listBase) return;
    for (int i = 0; i < textCount; ++i) {
        if (!texts[i].shown) continue;
        for (int k = 0; k < 3; ++k) textPosition[k] = texts[i].position[k];
        drawString(texts[i]);
    }
}

void cFontCool::drawString(const sText& text)
{
    glDisable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_TEXTURE_2D);
    if (texture) texture->texture.bind();
    glEnable(GL_LIGHTING);

    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glListBase(listBase);
    glColor4f(1, 1, 1, 1);
    glRasterPos2f(0, 0);

    const float* p = textPosition;
    const float e = extrusion;
    float advance = 0;
    // The string is terminated within its field (the reader cuts it).
    for (const unsigned char* s = reinterpret_cast<const unsigned char*>(text.string); *s; ++s) {
        const unsigned b = *s;
        const float w = glyphs[b].cellIncX;
        const float h = glyphs[b].blackBoxY;
        glPushMatrix();
        glTranslatef(advance, 0, 0);
        glTranslatef(p[0], p[1], p[2]);
        glTranslatef(w / 2, h / 2, -e / 2);
        const float wave = std::sin(p[0] + advance);
        switch (text.style) {
        case kStylePulse:
            glScalef(1, std::fabs(wave) + 0.5f, 1);
            break;
        case kStyleBounce:
            glTranslatef(0, std::fabs(wave), 0);
            break;
        case kStyleSway:
            glTranslatef(0, std::fabs(wave), 0);
            glTranslatef(0.4f * wave, 0, 0);
            break;
        default:
            break;
        }
        glTranslatef(-w / 2, -h / 2, e / 2);
        // The underscore is a gap of its own width.
        if (b != '_' && b < unsigned(kBuiltGlyphs)) glCallList(listBase + b);
        glPopMatrix();
        advance += w;
    }
}
