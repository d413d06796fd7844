// An image of any even size of at least 8 x 8 pixels, also far larger than
// one texture may be, cut into tiles whose sides are powers of two of at most
// 256 pixels. Each tile is a texture object and a display list that draws its
// part of the unit square; draw() shows the whole image on [0,1] x [0,1] of
// the current modelview space.
#pragma once

#include "common/media/texture.h"

#include <cstdint>
#include <memory>
#include <vector>

class cFormat;
class cGIFAnimation;

class cLargeTexture {
public:
    struct cTile {
        int width = 0; // pixels
        int height = 0;
        int x = 0; // offset of the tile in the image, pixels
        int y = 0;
        unsigned list = 0; // display list name
        cTexture texture;
    };

    cLargeTexture();
    ~cLargeTexture();
    cLargeTexture(const cLargeTexture&) = delete;
    cLargeTexture& operator=(const cLargeTexture&) = delete;

    // Loads the data file through the locator and the image formats and
    // tiles it: 1 on success, -1 on failure (left empty). Replaces any
    // earlier content. A GIF of several frames keeps them to play.
    int create(const char* fileName);
    // The same from an image already decoded (its first frame, for a GIF).
    int create(cFormat& image);
    // Shows the frame of an animated image that belongs to this many
    // seconds of show time, looping; still images stay as they are.
    void setShowTime(float seconds);
    void draw();
    // Deletes every tile's display list and texture.
    void release();

    unsigned columns() const { return columns_; }
    unsigned rows() const { return rows_; }
    // The tile at a column and row, null outside the grid.
    const cTile* tile(unsigned column, unsigned row) const;

    // Splits a length into powers of two, largest first, none above 256:
    // 640 gives 256, 256, 128.
    static std::vector<int> split(int length);

private:
    void upload(const unsigned char* pixels);

    uint32_t columns_ = 0;
    uint32_t rows_ = 0;
    cTile* tiles_ = nullptr; // columns x rows, row by row
    int imageWidth_ = 0;
    int bitsPerPixel_ = 0;
    std::unique_ptr<cGIFAnimation> animation_;
};
