#include "effects/clear.h"

#include "common/script/xml_tag.h"

#include <GL/gl.h>

#include <strings.h>

int cClear::doXML(cXmlTag* element)
{
    cEffect::doXML(element);
    for (const cXmlParam* p : element->params()) {
        if (strcasecmp(p->name, "color") == 0)
            readHexColour(p->value, color);
        else if (strcasecmp(p->name, "mode") == 0)
            mode = cXmlTag::toInt(p->value);
        else if (strcasecmp(p->name, "trailval") == 0)
            trailValue = cXmlTag::toFloat(p->value);
        else if (strcasecmp(p->name, "cbuf") == 0)
            clearColour = cXmlTag::toInt(p->value) != 0;
        else if (strcasecmp(p->name, "zbuf") == 0)
            clearDepth = cXmlTag::toInt(p->value) != 0;
    }
    return 0;
}

void cClear::update(float) { trailAlpha = trailValue; }

void cClear::draw()
{
    if (trailValue >= 1.0f) {
        glClearColor(color[0], color[1], color[2], color[3]);
        glClear((clearColour ? GL_COLOR_BUFFER_BIT : 0) | (clearDepth ? GL_DEPTH_BUFFER_BIT : 0));
        return;
    }
    // Trail mode: keep the picture, darken it with a translucent black quad.
    glClear(GL_DEPTH_BUFFER_BIT);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_CULL_FACE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0, 0, -1);
    glColor4f(0, 0, 0, trailAlpha);
    glBegin(GL_QUADS);
    glVertex2f(-1, -1);
    glVertex2f(1, -1);
    glVertex2f(1, 1);
    glVertex2f(-1, 1);
    glEnd();
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glEnable(GL_CULL_FACE);
}
