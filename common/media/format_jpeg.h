// The JPEG image format: hands the compressed file to the JPEG decoder and
// arranges the rows it delivers into an image.
#pragma once

#include "common/media/image_format.h"

#include <cstddef>

// What the JPEG format needs of a decoder. The decoder reads the headers when
// it is made; the format then asks for the image size, starts it and takes
// its rows, top row first, each width pixels of 4 bytes: red, green, blue and
// one unused byte.
class cJPEGRows {
public:
    virtual ~cJPEGRows() = default;
    virtual int width() = 0;
    virtual int height() = 0;
    virtual int components() = 0;
    virtual int error() = 0; // 0 while all is well
    virtual int begin() = 0; // 0 when decoding can start
    // 0: row points at one row of rowLength bytes; 1: no row is left; any
    // other value: a failure.
    virtual int decode(const unsigned char*& row, int& rowLength) = 0;
};

// Makes a decoder over a whole file's bytes (not copied; they must outlive
// the decoder), with or without its MMX inverse transform. Null when none can
// be made.
cJPEGRows* openJPEGDecoder(const unsigned char* data, unsigned size, bool mmx);

// JPEG through the JPEG decoder: 24 bits for three components, rows turned
// bottom-up, bytes blue, green, red. Needs a cMemoryStream, whose whole
// buffer it decodes whatever the stream's position.
class cFormatJPEG : public cFormat {
public:
    cFormatJPEG() = default;
    ~cFormatJPEG() override;
    cFormatJPEG(const cFormatJPEG&) = delete;
    cFormatJPEG& operator=(const cFormatJPEG&) = delete;

    int width() override { return width_; }
    int height() override { return height_; }
    int bitsPerPixel() override { return bitsPerPixel_; }
    unsigned char* pixels() override { return pixels_; }
    int load(cStream* stream) override;

    // Takes the image from a decoder that has read the headers of a file of
    // fileBytes bytes (the part of load after the decoder is made); the
    // decoder stays the caller's.
    int loadFrom(cJPEGRows& decoder, size_t fileBytes);

    // Every 8 x 8 block of a JPEG costs at least one bit of coded data, so a
    // file holds at most this many pixels per byte. A header declaring more
    // belongs to a damaged or hostile file; decoding it would only make up
    // rows, at the cost of an allocation its size cannot justify.
    static const size_t kMostPixelsPerByte = 8 * 64;

private:
    void release();

    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 0;
    unsigned char* pixels_ = nullptr;
};
