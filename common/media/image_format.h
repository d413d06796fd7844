// Decoded images and the format chain that makes them.
//
// An image is width x height pixels of bitsPerPixel bits, rows packed end to
// end, bottom row first; 24-bit pixels are blue, green, red and 32-bit pixels
// blue, green, red, alpha, the order cTexture uploads. The pixel block belongs
// to the format object and goes with it.
#pragma once

class cStream;

class cFormat {
public:
    virtual ~cFormat() = default;
    virtual int width() = 0;
    virtual int height() = 0;
    virtual int bitsPerPixel() = 0;
    virtual unsigned char* pixels() = 0; // null when the format gives no pixels
    // Reads an image from the stream's current position: 0 on success, -1
    // when the data is not an image of this format.
    virtual int load(cStream* stream) = 0;
};

// Tries TGA, then JPEG, then GIF, each from the stream's start, and returns
// the first format that loads it, or null (with no message) when none does.
// The caller owns the result.
cFormat* loadImage(cStream* stream);
