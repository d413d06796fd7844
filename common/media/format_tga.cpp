#include "common/media/format_tga.h"

#include "common/media/stream.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

int le16(const unsigned char* p) { return p[0] | (p[1] << 8); }

bool knownImageType(int type)
{
    return (type >= 1 && type <= 3) || (type >= 9 && type <= 11);
}

bool knownDepth(int bits)
{
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Bytes left in the stream after its position.
size_t bytesLeft(cStream* stream)
{
    const long long left = static_cast<long long>(stream->size()) - stream->tell();
    return left > 0 ? static_cast<size_t>(left) : 0;
}

// The most pixels a run of data bytes can describe: one run-length packet
// of 1 + pixelBytes bytes gives at most 128 pixels. An image declared larger
// than that cannot come from this file, whatever its type.
size_t mostPixelsFrom(size_t dataBytes, int pixelBytes)
{
    const size_t packet = 1 + static_cast<size_t>(pixelBytes);
    return (dataBytes + packet - 1) / packet * 128;
}

// Decodes run-length packets from in into the block. Where the input ends
// the block keeps its zeros. No packet writes past the block's end.
void decodeRuns(const unsigned char* in, size_t inSize, unsigned char* block, size_t blockSize, int pixelBytes)
{
    const size_t bpp = static_cast<size_t>(pixelBytes);
    size_t inPos = 0;
    size_t outPos = 0;
    while (outPos < blockSize && inPos < inSize) {
        const unsigned header = in[inPos++];
        const size_t count = (header & 0x7F) + 1;
        size_t bytes = count * bpp;
        if (bytes > blockSize - outPos)
            bytes = blockSize - outPos;
        const size_t available = inSize - inPos;
        if (header & 0x80) {
            unsigned char pixel[4] = {};
            std::memcpy(pixel, in + inPos, available < bpp ? available : bpp);
            inPos += available < bpp ? available : bpp;
            for (size_t i = 0; i < bytes; i += bpp)
                std::memcpy(block + outPos + i, pixel, bpp);
        } else {
            const size_t copied = available < bytes ? available : bytes;
            std::memcpy(block + outPos, in + inPos, copied);
            inPos += copied;
        }
        outPos += bytes;
    }
}

} // namespace

cFormatTGA::~cFormatTGA()
{
    release();
}

void cFormatTGA::release()
{
    delete[] pixels_;
    delete[] identification_;
    pixels_ = nullptr;
    identification_ = nullptr;
    width_ = height_ = bitsPerPixel_ = imageType_ = 0;
    blockSize_ = 0;
    std::memset(palette_, 0, sizeof palette_);
    hasColourMap_ = false;
}

int cFormatTGA::load(cStream* stream)
{
    release();
    if (!stream || stream->size() == 0)
        return -1;

    unsigned char header[18] = {};
    stream->read(header, sizeof header);
    const int idLength = header[0];
    const int colourMapType = header[1];
    const int colourMapFirst = le16(header + 3);
    const int colourMapLength = le16(header + 5);
    const int colourMapBits = header[7];
    width_ = static_cast<short>(le16(header + 12));
    height_ = static_cast<short>(le16(header + 14));
    bitsPerPixel_ = header[16];
    imageType_ = header[2];

    if (!knownImageType(imageType_) || !knownDepth(bitsPerPixel_)) {
        release();
        return -1;
    }

    if (idLength != 0) {
        identification_ = new char[idLength + 1];
        stream->read(identification_, idLength);
        identification_[idLength] = 0;
    }

    if (colourMapType != 0) {
        const int entryBytes = colourMapBits / 8;
        if (entryBytes < 2 || entryBytes > 4) {
            release();
            return -1;
        }
        // Entries past the 256 of the palette are passed over, so the pixel
        // data is still found behind the whole map.
        for (int i = 0; i < colourMapLength; ++i) {
            const int index = colourMapFirst + i;
            if (index >= 256) {
                stream->seek((colourMapLength - i) * entryBytes, 1);
                break;
            }
            unsigned char e[4] = {};
            stream->read(e, entryBytes);
            unsigned char* p = palette_[index];
            if (entryBytes == 2) {
                p[0] = static_cast<unsigned char>((e[1] >> 2) & 0x1F);
                p[1] = static_cast<unsigned char>(((e[1] & 3) << 3) + (e[0] >> 5));
                p[2] = static_cast<unsigned char>(e[0] & 0x1F);
                p[3] = static_cast<unsigned char>(e[1] >> 7);
            } else {
                p[0] = e[2];
                p[1] = e[1];
                p[2] = e[0];
                p[3] = entryBytes == 4 ? e[3] : 0;
            }
        }
        hasColourMap_ = true;
    }

    if (width_ <= 0 || height_ <= 0 || width_ > kMaxSide || height_ > kMaxSide) {
        std::printf("Warning cFormatTGA::load() bad size %i x %i\n", width_, height_);
        release();
        return -1;
    }
    const int pixelBytes = bitsPerPixel_ / 8;
    const size_t pixelCount = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    const size_t dataBytes = bytesLeft(stream);
    // Missing data at the end reads as zeros, but a block that the rest of
    // the file could not fill even at the best run-length ratio is a broken
    // or hostile header; it must not cost an allocation of that size.
    if (pixelCount > mostPixelsFrom(dataBytes, pixelBytes)) {
        std::printf("Warning cFormatTGA::load() %i x %i x %i bits is more than the file's %zu data bytes hold\n",
                    width_, height_, bitsPerPixel_, dataBytes);
        release();
        return -1;
    }

    blockSize_ = pixelCount * static_cast<size_t>(pixelBytes);
    pixels_ = new (std::nothrow) unsigned char[blockSize_]();
    if (!pixels_) {
        std::printf("Warning cFormatTGA::load() out of memory for %i x %i x %i bits\n", width_, height_,
                    bitsPerPixel_);
        release();
        return -1;
    }

    if (imageType_ <= 3) {
        stream->read(pixels_, static_cast<int>(blockSize_));
    } else {
        std::vector<unsigned char> data(dataBytes);
        if (dataBytes)
            stream->read(data.data(), static_cast<int>(dataBytes));
        decodeRuns(data.data(), data.size(), pixels_, blockSize_, pixelBytes);
    }
    return 0;
}
