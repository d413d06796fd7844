// The TGA image format.
#pragma once

#include "common/media/image_format.h"

#include <cstddef>

// TGA: colour-mapped, true-colour and grey images (types 1 to 3), plain or
// run-length coded (9 to 11), of 8, 16, 24 or 32 bits. 24- and 32-bit pixels
// stay as stored; 8- and 16-bit ones (palette indices, grey, 16-bit colour)
// are expanded to 24-bit blue-green-red or, where they carry alpha, 32-bit
// blue-green-red-alpha. Rows keep the file's own order.
class cFormatTGA : public cFormat {
public:
    // Largest side taken: it bounds a pixel block to 1 GiB.
    static const int kMaxSide = 16384;

    cFormatTGA() = default;
    ~cFormatTGA() override;
    cFormatTGA(const cFormatTGA&) = delete;
    cFormatTGA& operator=(const cFormatTGA&) = delete;

    int width() override { return width_; }
    int height() override { return height_; }
    int bitsPerPixel() override { return bitsPerPixel_; }
    unsigned char* pixels() override { return pixels_; }
    int load(cStream* stream) override;

    int imageType() const { return imageType_; }
    // The pixel depth the file stores; bitsPerPixel() is that of pixels().
    int storedBitsPerPixel() const { return storedBitsPerPixel_; }
    // Bytes of pixels(): width x height x bitsPerPixel() / 8.
    size_t blockSize() const { return blockSize_; }
    // The file's ID field with a terminator, or null when it has none.
    const char* identification() const { return identification_; }
    bool hasColourMap() const { return hasColourMap_; }
    // Bits of a colour map entry (16, 24 or 32), 0 without a map.
    int colourMapBits() const { return colourMapBits_; }
    // Palette entry 0 to 255 as red, green, blue, alpha, as stored: 16-bit
    // entries keep their 5-bit values and alpha bit.
    const unsigned char* paletteEntry(int index) const { return palette_[index & 255]; }

private:
    void release();
    void expand(const unsigned char* stored, size_t pixelCount, int storedBits, bool alphaBit);

    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 0;
    int storedBitsPerPixel_ = 0;
    int colourMapBits_ = 0;
    size_t blockSize_ = 0;
    int imageType_ = 0;
    char* identification_ = nullptr;
    unsigned char* pixels_ = nullptr;
    unsigned char palette_[256][4] = {};
    bool hasColourMap_ = false;
};
