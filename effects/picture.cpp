#include "effects/picture.h"

#include "common/media/media_shelf.h"
#include "common/scene/camera.h"
#include "common/scene/scene_registry.h"
#include "common/script/xml_tag.h"
#include "effects/large_texture.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <strings.h>

namespace {

// Degrees to radians as the picture has always turned: 3.14 / 180, a hair
// short of pi / 180, so a quarter turn written as 90 is slightly less.
constexpr float kDegrees = 0.017444445f;

} // namespace

cPicture::cPicture() = default;

cPicture::~cPicture() { delete image; }

int cPicture::doXML(cXmlTag* element)
{
    std::printf("cPicture::doXML() %i\n", element->paramCount());
    cEffect::doXML(element);
    for (const cXmlParam* p : element->params()) {
        const char* n = p->name;
        const char* v = p->value;
        if (strcasecmp(n, "camera") == 0) {
            if (registry) camera = registry->findCamera(v);
        } else if (strcasecmp(n, "filename") == 0) {
            const size_t length = std::strlen(v);
            if (length >= sizeof fileName)
                std::printf("cPicture: file name longer than %d characters, cut: %s\n", kFileNameSize - 1, v);
            std::snprintf(fileName, sizeof fileName, "%s", v);
        } else if (strcasecmp(n, "tra") == 0) {
            // Only x and y move the picture; the third number is not used.
            float t[3] = {position[0], position[1], 0};
            scanFloats(v, t, 3);
            position[0] = t[0];
            position[1] = t[1];
            position[2] = 0;
        } else if (strcasecmp(n, "rot") == 0) {
            float r[3] = {rotation[0] / kDegrees, rotation[1] / kDegrees, rotation[2] / kDegrees};
            scanFloats(v, r, 3);
            for (int i = 0; i < 3; ++i) rotation[i] = r[i] * kDegrees;
        } else if (strcasecmp(n, "sca") == 0) {
            scanFloats(v, scale, 3);
        } else if (strcasecmp(n, "trainc") == 0) {
            scanFloats(v, positionInc, 3);
        } else if (strcasecmp(n, "rotinc") == 0) {
            scanFloats(v, rotationInc, 3);
        } else if (strcasecmp(n, "scainc") == 0) {
            scanFloats(v, scaleInc, 3);
        } else if (strcasecmp(n, "color") == 0) {
            float rgba[4];
            readHexColour(v, rgba);
            colour[0] = rgba[0];
            colour[1] = rgba[1];
            colour[2] = rgba[2];
        }
    }
    return 0;
}

namespace {
void releaseImage(void* image) { delete static_cast<cLargeTexture*>(image); }
} // namespace

int cPicture::load()
{
    unload();
    std::snprintf(loadedFrom_, sizeof loadedFrom_, "%s", fileName);
    // While the show is rebuilt, the old show's image of an unchanged file
    // is taken as it is.
    if (registry && registry->shelf)
        if ((image = static_cast<cLargeTexture*>(registry->shelf->take("picture", fileName)))) return 0;
    image = new (std::nothrow) cLargeTexture();
    // A file that cannot be read leaves the image empty; it then draws nothing.
    if (image) image->create(fileName);
    return 0;
}

int cPicture::unload()
{
    if (!(image && registry && registry->shelf && registry->shelf->put("picture", loadedFrom_, image, &releaseImage)))
        delete image;
    image = nullptr;
    return 0;
}

void cPicture::update(float step)
{
    // An animated picture follows the show clock.
    if (image && registry) image->setShowTime(registry->showSeconds);
    const float c = step * speed;
    for (int i = 0; i < 3; ++i) {
        position[i] += positionInc[i] * c;
        rotation[i] += rotationInc[i] * c;
        scale[i] += scaleInc[i] * c;
    }
}

void cPicture::wallpaperMatrix(int gridX, int gridY, float m[16]) const
{
    const float sx = std::sin(rotation[0]), cx = std::cos(rotation[0]);
    const float sy = std::sin(rotation[1]), cy = std::cos(rotation[1]);
    const float sz = std::sin(rotation[2]), cz = std::cos(rotation[2]);
    // R = Rz * Ry * Rx, by rows.
    const float r[3][3] = {
        {cy * cz, sx * sy * cz - cx * sz, cx * sy * cz + sx * sz},
        {cy * sz, sx * sy * sz + cx * cz, cx * sy * sz - sx * cz},
        {-sy, sx * cy, cx * cy},
    };
    const float t[3] = {position[0] + float(gridX), position[1] + float(gridY), position[2]};
    for (int row = 0; row < 3; ++row) {
        float moved = 0;
        for (int col = 0; col < 3; ++col) {
            m[col * 4 + row] = scale[row] * r[row][col];
            moved += r[row][col] * t[col];
        }
        m[12 + row] = scale[row] * moved;
        m[3 + row * 4] = 0;
    }
    m[15] = 1;
}

void cPicture::draw()
{
    if (camera) {
        int vp[4];
        camera->getViewportPixels(width, height, vp);
        glViewport(vp[0], vp[1], vp[2], vp[3]);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(camera->getViewMatrix());
        glTranslatef(-0.5f, -0.5f, 0.0f);
        if (image) image->draw();
        return;
    }

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    gluOrtho2D(-0.5, 0.5, -0.5, 0.5);
    glColor3f(colour[0], colour[1], colour[2]);
    glMatrixMode(GL_MODELVIEW);
    float m[16];
    for (int i = -3; i <= 3; ++i) {
        for (int j = -3; j <= 3; ++j) {
            wallpaperMatrix(i, j, m);
            glLoadMatrixf(m);
            glTranslatef(-0.5f, -0.5f, 0.0f);
            if (image) image->draw();
        }
    }
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}
