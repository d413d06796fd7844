#include "webcam/webcam.h"

#include "common/scene/named_texture.h"
#include "common/scene/scene_registry.h"
#include "common/script/xml_tag.h"
#include "webcam/webcam_capture.h"

#include <GL/gl.h>

#include <cstdio>
#include <new>
#include <strings.h>

cWebcam::~cWebcam() { unload(); }

int cWebcam::doXML(cXmlTag* element)
{
    cEffect::doXML(element);
    for (const cXmlParam* p : element->params()) {
        if (strcasecmp(p->name, "device") != 0) continue;
        if (std::snprintf(device, sizeof device, "%s", p->value) >= int(sizeof device))
            std::printf("webcam: device name cut to %d characters: %s\n", int(kDeviceSize) - 1, device);
    }
    return 0;
}

int cWebcam::load()
{
    // A second load starts afresh: the first capture is closed before the
    // next one opens.
    unload();
    capture = new (std::nothrow) cWebcamCapture;
    if (!capture) {
        std::printf("webcam: out of memory\n");
        return 0;
    }
    if (!capture->open(device)) {
        delete capture;
        capture = nullptr;
    }
    if (registry)
        texture = registry->createTexture(cWebcamCapture::kFrameSide, cWebcamCapture::kFrameSide, 24, "webcamtex");
    else
        std::printf("webcam: no scene registry for the texture webcamtex\n");
    return 0;
}

int cWebcam::unload()
{
    // The registry keeps the texture and deletes it when it is cleared.
    texture = nullptr;
    delete capture;
    capture = nullptr;
    return 0;
}

void cWebcam::update(float step)
{
    // One frame per drawn frame, whatever the step.
    (void)step;
    if (!capture) return;
    capture->grab();
    if (!texture || !capture->frameBuffer) return;
    // The upload reads width x height x bytes per pixel: only a texture of
    // exactly the frame buffer's shape takes it.
    const cTexture& t = texture->texture;
    if (t.width == cWebcamCapture::kFrameSide && t.height == cWebcamCapture::kFrameSide && t.bytesPerPixel == 3)
        texture->texture.update(capture->frameBuffer);
}

void cWebcam::draw()
{
    if (texture) texture->texture.bind();
    glEnable(GL_TEXTURE_2D);
    glDepthMask(GL_FALSE);
    glDisable(GL_DEPTH_TEST);

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();

    static const float corners[6][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {0, 1}, {1, 1}};
    glBegin(GL_TRIANGLES);
    for (const auto& c : corners) {
        glTexCoord2f(c[0], c[1]);
        glVertex2f(c[0], c[1]);
    }
    glEnd();

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    // The depth test stays off; the render-state block restores it.
    glDepthMask(GL_TRUE);
}
