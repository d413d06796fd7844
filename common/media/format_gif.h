// The GIF image format.
#pragma once

#include "common/media/image_format.h"

#include <cstddef>
#include <cstdint>

class cStream;

// One image of a GIF file: where it sits on the logical screen, its own
// palette when it has one, its palette indices and its transparent index.
struct sGIFFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool hasLocalPalette = false;
    unsigned char palette[256][3] = {};
    // The indices in the order they are stored in the file (an interlaced
    // image keeps its stored row order). The block holds blockSize of the
    // width x height: all of them once the data has filled the image. The
    // block grows with what the data decodes to, so where the data ends
    // early it may hold fewer, and those past blockSize count as 0.
    unsigned char* indices = nullptr;  // owned by the cFormatGIF
    size_t blockSize = 0;
    // How many indices the data gave; the block is 0 from there on.
    size_t decoded = 0;
    int transparent = -1;  // -1: none
};

// GIF 87a and 89a: the logical screen size, the global palette and every
// image of the file decoded into palette indices. It gives 8 bits per pixel
// and never a pixel block, so a GIF makes no visible texture.
class cFormatGIF : public cFormat {
public:
    static constexpr int kMaxFrames = 256;

    cFormatGIF() = default;
    ~cFormatGIF() override;
    cFormatGIF(const cFormatGIF&) = delete;
    cFormatGIF& operator=(const cFormatGIF&) = delete;

    int width() override { return width_; }
    int height() override { return height_; }
    int bitsPerPixel() override { return bitsPerPixel_; }
    unsigned char* pixels() override { return nullptr; }
    // Reads the file from the stream's position. 0 once the signature is
    // accepted, whatever follows; -1 when it is no GIF. Truncated data keeps
    // the images read so far, the last one partly decoded. Images past the
    // frame table's 256 are read over and not kept. A second load adds to
    // the first.
    int load(cStream* stream) override;

    bool hasGlobalPalette() const { return hasGlobalPalette_; }
    // Entry 0 to 255 as red, green, blue.
    const unsigned char* globalPaletteEntry(int index) const { return globalPalette_[index & 255]; }
    int frameCount() const { return frameCount_; }
    int currentFrame() const { return currentFrame_; }
    // Frame 0 to frameCount() - 1.
    const sGIFFrame& frame(int index) const { return *frames_[index]; }

private:
    struct sReader;
    void readExtension(sReader& in);
    void readImage(sReader& in);

    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 8;
    bool hasGlobalPalette_ = false;
    unsigned char globalPalette_[256][3] = {};
    sGIFFrame* frames_[kMaxFrames] = {};
    int frameCount_ = 0;
    int currentFrame_ = 0;
    cStream* stream_ = nullptr;  // not owned
    bool graphicControlRead_ = false;
    unsigned char graphicControl_[4] = {};
};
