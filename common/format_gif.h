// The GIF image format.
#pragma once

#include "common/image_format.h"

// GIF: the logical screen size, 8 bits per pixel and never a pixel block.
class cFormatGIF : public cFormat {
public:
    int width() override { return width_; }
    int height() override { return height_; }
    int bitsPerPixel() override { return 8; }
    unsigned char* pixels() override { return nullptr; }
    int load(cStream* stream) override;

private:
    int width_ = 0;
    int height_ = 0;
};
