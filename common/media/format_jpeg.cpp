#include "common/media/format_jpeg.h"

#include "common/media/jpeg/jpeg_decoder.h"
#include "common/media/stream.h"
#include "platform/problem_report.h"

#include <cstdio>
#include <cstring>
#include <new>

// ---- the decoder -----------------------------------------------------------

namespace {

// The JPEG decoder over its source, seen through what the format needs.
class cDecoderRows : public cJPEGRows {
public:
    cDecoderRows(const unsigned char* data, unsigned size, bool mmx) : source_(data, size), decoder_(&source_, mmx) { }

    int width() override { return decoder_.width(); }
    int height() override { return decoder_.height(); }
    int components() override { return decoder_.components(); }
    int error() override { return decoder_.errorCode(); }
    int begin() override { return decoder_.begin(); }
    int decode(const unsigned char*& row, int& rowLength) override { return decoder_.decode(row, rowLength); }

private:
    cJPEGSource source_; // declared first: the decoder reads it until it goes
    cJPEGDecoder decoder_;
};

} // namespace

cJPEGRows* openJPEGDecoder(const unsigned char* data, unsigned size, bool mmx)
{
    return new (std::nothrow) cDecoderRows(data, size, mmx);
}

// ---- cFormatJPEG -----------------------------------------------------------

cFormatJPEG::~cFormatJPEG() { release(); }

void cFormatJPEG::release()
{
    delete[] pixels_;
    pixels_ = nullptr;
    width_ = height_ = bitsPerPixel_ = 0;
}

int cFormatJPEG::load(cStream* stream)
{
    release();
    // The decoder takes the whole file at once, so only a memory stream will do.
    cMemoryStream* memory = dynamic_cast<cMemoryStream*>(stream);
    if (!memory || memory->size() == 0) return -1;

    cJPEGRows* decoder = openJPEGDecoder(memory->data(), memory->size(), true);
    if (!decoder) {
        platform::reportProblem("Warning cFormatJPEG::load() error\n");
        return -1;
    }
    const int result = loadFrom(*decoder, memory->size());
    delete decoder;
    return result;
}

int cFormatJPEG::loadFrom(cJPEGRows& decoder, size_t fileBytes)
{
    release();
    if (decoder.error() != 0) {
        platform::reportProblem("Warning cFormatJPEG::load() error\n");
        return -1;
    }
    width_ = decoder.width();
    height_ = decoder.height();
    bitsPerPixel_ = decoder.components() * 8;
    if (bitsPerPixel_ != 24 && bitsPerPixel_ != 32) {
        platform::reportProblem("Warning cFormatJPEG::load() bad BPP\n");
        release();
        return -1;
    }
    if (width_ > 0 && height_ > 0 &&
        static_cast<size_t>(width_) * static_cast<size_t>(height_) / kMostPixelsPerByte > fileBytes) {
        platform::reportProblem("Warning cFormatJPEG::load() %i x %i is more than the file's %zu bytes hold\n", width_,
                                height_, fileBytes);
        release();
        return -1;
    }
    if (width_ <= 0 || height_ <= 0 || decoder.begin() != 0) {
        platform::reportProblem("Warning cFormatJPEG::load() error\n");
        release();
        return -1;
    }

    const size_t pixelBytes = static_cast<size_t>(bitsPerPixel_ / 8);
    const size_t rowBytes = static_cast<size_t>(width_) * pixelBytes;
    pixels_ = new (std::nothrow) unsigned char[rowBytes * static_cast<size_t>(height_)]();
    if (!pixels_) {
        platform::reportProblem("Warning cFormatJPEG::load() out of memory for %i x %i\n", width_, height_);
        release();
        return -1;
    }

    // Rows arrive top first; the image keeps the bottom row first.
    int lines = 0;
    while (lines < height_) {
        const unsigned char* row = nullptr;
        int rowLength = 0;
        if (decoder.decode(row, rowLength) != 0 || !row) break;
        unsigned char* out = pixels_ + static_cast<size_t>(height_ - 1 - lines) * rowBytes;
        // A row shorter than the image's width leaves the rest of it zero.
        int count = rowLength > 0 ? rowLength / 4 : 0;
        if (count > width_) count = width_;
        for (int x = 0; x < count; ++x, row += 4, out += pixelBytes) {
            out[0] = row[2];
            out[1] = row[1];
            out[2] = row[0];
        }
        ++lines;
    }
    if (lines != height_)
        platform::reportProblem("error: decoded %i lines (%i %i) %i\n", lines, width_, height_, decoder.error());
    return 0;
}
