#include "effects/large_texture.h"

#include "common/media/format_gif.h"
#include "common/media/gif_animation.h"
#include "common/media/image_format.h"
#include "common/media/stream.h"
#include "platform/problem_report.h"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

cLargeTexture::cLargeTexture() = default;

cLargeTexture::~cLargeTexture() { release(); }

std::vector<int> cLargeTexture::split(int length)
{
    std::vector<int> pieces;
    int piece = 256;
    while (length > 0 && piece > 0) {
        if (piece <= length) {
            pieces.push_back(piece);
            length -= piece;
        } else {
            piece /= 2;
        }
    }
    return pieces;
}

const cLargeTexture::cTile* cLargeTexture::tile(unsigned column, unsigned row) const
{
    if (!tiles_ || column >= columns_ || row >= rows_) return nullptr;
    return &tiles_[row * columns_ + column];
}

void cLargeTexture::release()
{
    if (tiles_) {
        for (uint32_t i = 0; i < columns_ * rows_; ++i) {
            if (tiles_[i].list) glDeleteLists(tiles_[i].list, 1);
            tiles_[i].texture.destroy();
        }
        delete[] tiles_;
    }
    tiles_ = nullptr;
    columns_ = rows_ = 0;
    animation_.reset();
}

int cLargeTexture::create(const char* fileName)
{
    release();
    cMemoryStream file(fileName);
    std::unique_ptr<cFormat> image(loadImage(&file));
    if (!image) {
        platform::reportProblem("Warning cLargeTexture::create() error");
        return -1;
    }
    const int result = create(*image);
    cFormatGIF* gif = dynamic_cast<cFormatGIF*>(image.get());
    if (result == 1 && gif && gif->frameCount() > 1 && gif->pixels()) animation_.reset(gif->takeAnimation());
    return result;
}

void cLargeTexture::setShowTime(float seconds)
{
    if (!animation_) return;
    const int frame = animation_->frameAt(seconds);
    if (frame != animation_->composedFrame()) upload(animation_->compose(frame));
}

int cLargeTexture::create(cFormat& image)
{
    release();
    const int imageWidth = image.width();
    const int imageHeight = image.height();
    if (imageWidth < 8 || imageHeight < 8 || (imageWidth & 1) || (imageHeight & 1)) {
        platform::reportProblem(
            "Warning cLargeTexture: a %i x %i image cannot be tiled (sides must be even and at least 8)\n", imageWidth,
            imageHeight);
        return -1;
    }

    const std::vector<int> across = split(imageWidth);
    const std::vector<int> down = split(imageHeight);
    tiles_ = new (std::nothrow) cTile[across.size() * down.size()];
    if (!tiles_) return -1;
    columns_ = static_cast<uint32_t>(across.size());
    rows_ = static_cast<uint32_t>(down.size());

    int y = 0;
    for (uint32_t r = 0; r < rows_; ++r) {
        int x = 0;
        for (uint32_t c = 0; c < columns_; ++c) {
            cTile& t = tiles_[r * columns_ + c];
            t.width = across[c];
            t.height = down[r];
            t.x = x;
            t.y = y;
            x += t.width;
        }
        y += down[r];
    }

    imageWidth_ = imageWidth;
    bitsPerPixel_ = image.bitsPerPixel();
    for (uint32_t i = 0; i < columns_ * rows_; ++i) {
        cTile& t = tiles_[i];
        t.texture.create(t.width, t.height, bitsPerPixel_);

        // Half a texel in from each edge, so linear filtering never reaches
        // across to the texels of the opposite edge.
        const float s0 = 1.0f / (2.0f * static_cast<float>(t.width));
        const float t0 = 1.0f / (2.0f * static_cast<float>(t.height));
        const float x0 = static_cast<float>(t.x) / static_cast<float>(imageWidth);
        const float x1 = static_cast<float>(t.x + t.width) / static_cast<float>(imageWidth);
        const float y0 = static_cast<float>(t.y) / static_cast<float>(imageHeight);
        const float y1 = static_cast<float>(t.y + t.height) / static_cast<float>(imageHeight);
        t.list = glGenLists(1);
        if (!t.list) continue;
        glNewList(t.list, GL_COMPILE);
        glBegin(GL_QUADS);
        glTexCoord2f(s0, t0);
        glVertex2f(x0, y0);
        glTexCoord2f(1.0f - s0, t0);
        glVertex2f(x1, y0);
        glTexCoord2f(1.0f - s0, 1.0f - t0);
        glVertex2f(x1, y1);
        glTexCoord2f(s0, 1.0f - t0);
        glVertex2f(x0, y1);
        glEnd();
        glEndList();
    }
    upload(image.pixels());
    return 1;
}

// Copies each tile's part of the image into its texture. An image without a
// pixel block (a GIF too large to compose) leaves the tiles without images.
void cLargeTexture::upload(const unsigned char* pixels)
{
    const size_t pixelBytes = bitsPerPixel_ > 0 ? static_cast<size_t>(bitsPerPixel_ / 8) : 0;
    if (!pixels || !pixelBytes) return;
    // The largest tile: 256 x 256 pixels.
    std::vector<unsigned char> block(256 * 256 * pixelBytes);
    for (uint32_t i = 0; i < columns_ * rows_; ++i) {
        const cTile& t = tiles_[i];
        const size_t rowBytes = static_cast<size_t>(t.width) * pixelBytes;
        for (int row = 0; row < t.height; ++row) {
            const size_t from =
                (static_cast<size_t>(t.y + row) * static_cast<size_t>(imageWidth_) + static_cast<size_t>(t.x)) *
                pixelBytes;
            std::memcpy(block.data() + static_cast<size_t>(row) * rowBytes, pixels + from, rowBytes);
        }
        tiles_[i].texture.update(block.data());
    }
}

void cLargeTexture::draw()
{
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glDepthMask(GL_FALSE);
    for (uint32_t i = 0; i < columns_ * rows_; ++i) {
        cTile& t = tiles_[i];
        t.texture.bind();
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        if (t.list) glCallList(t.list);
    }
    glDepthMask(GL_TRUE);
}
