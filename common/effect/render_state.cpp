#include "common/effect/render_state.h"

#include "common/effect/effect.h"
#include "common/script/xml_tag.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <strings.h>

namespace {
bool is(const cXmlParam* p, const char* name) { return strcasecmp(p->name, name) == 0; }
bool flag(const cXmlParam* p) { return cXmlTag::toInt(p->value) != 0; }
float number(const cXmlParam* p) { return cXmlTag::toFloat(p->value); }
} // namespace

unsigned cRenderState::blendFactor(int code)
{
    static const unsigned factors[] = {GL_ZERO,      GL_ONE,
                                       GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR,
                                       GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA,
                                       GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA,
                                       GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR};
    return code >= 0 && code < 10 ? factors[code] : GL_ONE;
}

int cRenderState::doXML(cXmlTag* glElement)
{
    for (cXmlTag* child : glElement->children()) {
        if (child->nameIs("render"))
            readRender(child);
        else if (child->nameIs("depth"))
            readDepth(child);
        else if (child->nameIs("cull"))
            readCull(child);
        else if (child->nameIs("alpha"))
            readAlpha(child);
        else if (child->nameIs("proj"))
            readProj(child);
        else if (child->nameIs("fog"))
            readFog(child);
    }
    for (const cXmlParam* p : glElement->params())
        if (is(p, "restore")) restore = flag(p);
    return 0;
}

void cRenderState::readRender(cXmlTag* e)
{
    for (const cXmlParam* p : e->params()) {
        if (is(p, "active"))
            renderActive = flag(p);
        else if (is(p, "flat"))
            flat = flag(p);
        else if (is(p, "wire"))
            wire = flag(p);
        else if (is(p, "envmap"))
            envmap = flag(p);
        else if (is(p, "linewidth"))
            lineWidth = number(p);
        else if (is(p, "color")) {
            // Components the text does not give keep their previous values.
            std::sscanf(p->value, "%f,%f,%f,%f", &color[0], &color[1], &color[2], &color[3]);
        }
    }
}

void cRenderState::readDepth(cXmlTag* e)
{
    for (const cXmlParam* p : e->params()) {
        if (is(p, "active"))
            depthActive = flag(p);
        else if (is(p, "test"))
            depthTest = flag(p);
        else if (is(p, "write"))
            depthWrite = flag(p);
    }
}

void cRenderState::readCull(cXmlTag* e)
{
    for (const cXmlParam* p : e->params()) {
        if (is(p, "active"))
            cullActive = flag(p);
        else if (is(p, "cull"))
            cullEnable = flag(p);
        else if (is(p, "mode"))
            cullMode = cXmlTag::toInt(p->value);
    }
}

void cRenderState::readAlpha(cXmlTag* e)
{
    for (const cXmlParam* p : e->params()) {
        if (is(p, "active"))
            alphaActive = flag(p);
        else if (is(p, "blend"))
            blend = flag(p);
        else if (is(p, "mask"))
            alphaTest = flag(p);
        else if (is(p, "blendsrc"))
            blendSrc = blendFactor(cXmlTag::toInt(p->value));
        else if (is(p, "blenddst"))
            blendDst = blendFactor(cXmlTag::toInt(p->value));
        else if (is(p, "maskvalue"))
            alphaRef = number(p);
    }
}

void cRenderState::readProj(cXmlTag* e)
{
    for (const cXmlParam* p : e->params()) {
        if (is(p, "active"))
            projActive = flag(p);
        else if (is(p, "fov"))
            fov = number(p);
        else if (is(p, "near"))
            zNear = number(p);
        else if (is(p, "far"))
            zFar = number(p);
    }
}

void cRenderState::readFog(cXmlTag* e)
{
    for (const cXmlParam* p : e->params()) {
        if (is(p, "active"))
            fogActive = flag(p);
        else if (is(p, "on"))
            fogOn = flag(p);
        else if (is(p, "zstart"))
            fogStart = number(p);
        else if (is(p, "zend"))
            fogEnd = number(p);
        else if (is(p, "density"))
            fogDensity = number(p);
        else if (is(p, "mode"))
            fogMode = cXmlTag::toInt(p->value);
        else if (is(p, "color")) {
            float rgba[4];
            readHexColour(p->value, rgba);
            fogColor[0] = rgba[0];
            fogColor[1] = rgba[1];
            fogColor[2] = rgba[2];
        }
    }
}

void cRenderState::apply()
{
    if (restore) glPushAttrib(0xFFFFF);
    if (renderActive) {
        glColor4fv(color);
        glPolygonMode(GL_FRONT_AND_BACK, wire ? GL_LINE : GL_FILL);
        if (envmap) {
            glEnable(GL_TEXTURE_GEN_S);
            glEnable(GL_TEXTURE_GEN_T);
            glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
            glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
        } else {
            glDisable(GL_TEXTURE_GEN_S);
            glDisable(GL_TEXTURE_GEN_T);
        }
        glShadeModel(flat ? GL_FLAT : GL_SMOOTH);
    }
    if (depthActive) {
        if (depthTest)
            glEnable(GL_DEPTH_TEST);
        else
            glDisable(GL_DEPTH_TEST);
        glDepthMask(depthWrite ? GL_TRUE : GL_FALSE);
    }
    if (cullActive) {
        glCullFace(cullMode == 0 ? GL_BACK : GL_FRONT);
        if (cullEnable)
            glEnable(GL_CULL_FACE);
        else
            glDisable(GL_CULL_FACE);
    }
    if (alphaActive) {
        if (blend) {
            glEnable(GL_BLEND);
            glBlendFunc(blendSrc, blendDst);
        } else {
            glDisable(GL_BLEND);
        }
        if (alphaTest) {
            glEnable(GL_ALPHA_TEST);
            glAlphaFunc(GL_GREATER, alphaRef);
        } else {
            glDisable(GL_ALPHA_TEST);
        }
    }
    if (projActive) {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(fov, 1.3333333333333333, zNear, zFar);
        glMatrixMode(GL_MODELVIEW);
    }
    if (fogActive) {
        if (!fogOn) {
            glDisable(GL_FOG);
            return;
        }
        glEnable(GL_FOG);
        glFogi(GL_FOG_MODE, fogMode == 1 ? GL_EXP : fogMode == 2 ? GL_EXP2 : GL_LINEAR);
        glFogf(GL_FOG_DENSITY, fogDensity);
        glFogf(GL_FOG_START, fogStart);
        glFogf(GL_FOG_END, fogEnd);
        const GLfloat c[4] = {fogColor[0], fogColor[1], fogColor[2], 1.0f};
        glFogfv(GL_FOG_COLOR, c);
    }
}
