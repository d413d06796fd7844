// The GIF image format.
#pragma once

#include "common/media/gif_animation.h"
#include "common/media/image_format.h"

class cStream;

// GIF 87a and 89a: the logical screen size, the global palette and every
// image of the file decoded into palette indices, with each image's
// transparency, delay and disposal. The pixel block is the first frame
// composed on the logical screen, 32 bits per pixel (transparent where no
// frame drew). A logical screen too large to compose (or with a side of 0)
// gives 8 bits per pixel and no pixel block, with a console line saying so.
class cFormatGIF : public cFormat {
public:
    static constexpr int kMaxFrames = cGIFAnimation::kMaxFrames;

    cFormatGIF() = default;
    ~cFormatGIF() override;
    cFormatGIF(const cFormatGIF&) = delete;
    cFormatGIF& operator=(const cFormatGIF&) = delete;

    int width() override { return width_; }
    int height() override { return height_; }
    int bitsPerPixel() override { return bitsPerPixel_; }
    // The frame composed last, the first frame until another is composed
    // through animation().
    unsigned char* pixels() override;
    // Reads the file from the stream's position. 0 once the signature is
    // accepted, whatever follows; -1 when it is no GIF. Truncated data keeps
    // the images read so far, the last one partly decoded. Images past the
    // frame table's 256 are read over and not kept. A second load adds to
    // the first.
    int load(cStream* stream) override;

    bool hasGlobalPalette() const { return animation_ && animation_->hasGlobalPalette; }
    // Entry 0 to 255 as red, green, blue.
    const unsigned char* globalPaletteEntry(int index) const;
    int frameCount() const { return animation_ ? animation_->frameCount() : 0; }
    int currentFrame() const { return currentFrame_; }
    // Frame 0 to frameCount() - 1.
    const sGIFFrame& frame(int index) const { return animation_->frame(index); }

    // The decoded frames; null before a load.
    cGIFAnimation* animation() { return animation_; }
    // Hands the decoded frames to the caller, who deletes them. The format
    // then has no frames and no pixel block.
    cGIFAnimation* takeAnimation();

private:
    struct sReader;
    void readExtension(sReader& in);
    void readImage(sReader& in);

    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 8;
    cGIFAnimation* animation_ = nullptr; // owned
    int currentFrame_ = 0;
    cStream* stream_ = nullptr; // not owned
    bool graphicControlRead_ = false;
    unsigned char graphicControl_[4] = {};
};
