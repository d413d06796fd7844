#include "common/media/texture.h"

#include "platform/problem_report.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>

namespace {

// The GL pixel format of an image of the given bytes per pixel, or 0 when
// the texture holds none.
GLenum uploadFormat(int bytesPerPixel)
{
    switch (bytesPerPixel) {
    case 4:
        return GL_BGRA_EXT;
    case 3:
        return GL_BGR_EXT;
    default:
        return 0;
    }
}

} // namespace

bool cTexture::validSide(int side) { return side >= 8 && side <= 2048 && (side & (side - 1)) == 0; }

int cTexture::create(int newWidth, int newHeight, int bitsPerPixel)
{
    if (!validSide(newWidth) || !validSide(newHeight)) {
        platform::reportProblem("error bad texture dimensions\n");
        return -1;
    }
    // A second create on a live texture would otherwise lose its GL name.
    destroy();
    glGenTextures(1, &id);
    bind();
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    width = newWidth;
    height = newHeight;
    bytesPerPixel = bitsPerPixel / 8;
    const GLenum format = uploadFormat(bytesPerPixel);
    if (format) glTexImage2D(GL_TEXTURE_2D, 0, bytesPerPixel, width, height, 0, format, GL_UNSIGNED_BYTE, nullptr);
    return 0;
}

void cTexture::bind()
{
    if (!id) return;
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

void cTexture::update(const void* pixels)
{
    // Without pixels there is nothing to copy; GL would read through null.
    if (!id || !pixels) return;
    bind();
    const GLenum format = uploadFormat(bytesPerPixel);
    if (format) glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, GL_UNSIGNED_BYTE, pixels);
}

void cTexture::destroy()
{
    if (id) glDeleteTextures(1, &id);
    id = 0;
}
