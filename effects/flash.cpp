#include "effects/flash.h"

#include "common/script/xml_tag.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <strings.h>

int cFlash::doXML(cXmlTag* element)
{
    cEffect::doXML(element);
    for (const cXmlParam* p : element->params()) {
        if (strcasecmp(p->name, "color") == 0)
            readHexColour(p->value, color);
        else if (strcasecmp(p->name, "attack") == 0)
            attack = cXmlTag::toFloat(p->value);
        else if (strcasecmp(p->name, "decay") == 0)
            decay = cXmlTag::toFloat(p->value);
        else if (strcasecmp(p->name, "sustain") == 0)
            sustain = cXmlTag::toFloat(p->value);
        else if (strcasecmp(p->name, "mode") == 0)
            mode = cXmlTag::toInt(p->value);
    }
    for (cXmlTag* child : element->children()) {
        if (child->nameIs("go")) {
            running = true;
            sustainLeft = sustain;
            phase = 1.0f;
            intensity = 0.0f;
        }
    }
    return 0;
}

int cFlash::load()
{
    intensity = 0.0f;
    return 0;
}

void cFlash::update(float step)
{
    if (!running) return;
    const float a = speed * step * 0.3f;
    // One step may pass from one stage into the next.
    if (phase > 0) {
        intensity += a * attack;
        if (intensity >= 1.0f) {
            phase = 0;
            // A long frame (a capture at a low frame rate) would pass
            // through the whole envelope between two drawn frames: the frame
            // that completes the attack shows the peak, at most one 10 ms
            // step above full, and the sustain starts with the next frame.
            if (step > kLongestPlainStep) {
                intensity = std::min(intensity, 1.0f + speed * 0.3f * attack);
                return;
            }
        }
    }
    if (phase == 0) {
        sustainLeft -= a;
        if (sustainLeft <= 0) phase = -1;
    }
    if (phase < 0) {
        intensity -= a * decay;
        if (intensity <= 0) {
            running = false;
            sustainLeft = sustain;
            intensity = 0;
            phase = 1.0f;
        }
    }
}

void cFlash::draw()
{
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    switch (mode) {
    case 0:
        glBlendFunc(GL_ONE, GL_ONE);
        break;
    case 1:
        glBlendFunc(GL_ZERO, GL_SRC_COLOR);
        break;
    case 2:
    case 3:
        glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_ONE_MINUS_SRC_COLOR);
        break;
    default:
        break; // the blend function of the state before
    }
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(0, 1, 0, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor4f(color[0] * intensity, color[1] * intensity, color[2] * intensity, 1.0f);
    glBegin(GL_TRIANGLES);
    glVertex2f(0, 0);
    glVertex2f(1, 0);
    glVertex2f(1, 1);
    glVertex2f(0, 0);
    glVertex2f(0, 1);
    glVertex2f(1, 1);
    glEnd();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}
