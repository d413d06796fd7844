#include "common/media/format_tga.h"

#include "common/media/stream.h"
#include "platform/problem_report.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

int le16(const unsigned char* p) { return p[0] | (p[1] << 8); }

bool knownImageType(int type) { return (type >= 1 && type <= 3) || (type >= 9 && type <= 11); }

bool knownDepth(int bits) { return bits == 8 || bits == 16 || bits == 24 || bits == 32; }

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
        if (bytes > blockSize - outPos) bytes = blockSize - outPos;
        const size_t available = inSize - inPos;
        if (header & 0x80) {
            unsigned char pixel[4] = {};
            std::memcpy(pixel, in + inPos, available < bpp ? available : bpp);
            inPos += available < bpp ? available : bpp;
            for (size_t i = 0; i < bytes; i += bpp) std::memcpy(block + outPos + i, pixel, bpp);
        } else {
            const size_t copied = available < bytes ? available : bytes;
            std::memcpy(block + outPos, in + inPos, copied);
            inPos += copied;
        }
        outPos += bytes;
    }
}

// A 5-bit channel stretched to 8 bits, so that 31 gives 255.
unsigned char widen5(unsigned value) { return static_cast<unsigned char>((value << 3) | (value >> 2)); }

// How an image's stored pixels become blue-green-red(-alpha) ones.
enum class Expansion { kNone, kMapped, kGrey, kGreyAlpha, kColour16 };

Expansion expansionFor(int imageType, int storedBits)
{
    if (storedBits > 16) return Expansion::kNone;
    if (imageType == 1 || imageType == 9) return Expansion::kMapped;
    if (storedBits == 8) return Expansion::kGrey;
    return imageType == 3 || imageType == 11 ? Expansion::kGreyAlpha : Expansion::kColour16;
}

} // namespace

// Turns the stored pixels into the output block: palette indices (8 or 16
// bits) into their palette entries, grey into equal blue, green and red
// (with its alpha byte at 16 bits), and 16-bit colour (5 bits each of red,
// green and blue, then an alpha bit) into 8 bits per channel.
void cFormatTGA::expand(const unsigned char* stored, size_t pixelCount, int storedBits, bool alphaBit)
{
    const Expansion kind = expansionFor(imageType_, storedBits);
    const size_t in = static_cast<size_t>(storedBits / 8);
    const size_t out = static_cast<size_t>(bitsPerPixel_ / 8);
    for (size_t i = 0; i < pixelCount; ++i) {
        const unsigned char* s = stored + i * in;
        unsigned char* d = pixels_ + i * out;
        const unsigned value = in == 2 ? s[0] | (s[1] << 8) : s[0];
        switch (kind) {
        case Expansion::kMapped: {
            // Indices past the 256 entries of the palette are black.
            static const unsigned char kBlack[4] = {};
            const unsigned char* e = value < 256 ? palette_[value] : kBlack;
            const bool fiveBits = colourMapBits_ == 16;
            d[0] = fiveBits ? widen5(e[2]) : e[2];
            d[1] = fiveBits ? widen5(e[1]) : e[1];
            d[2] = fiveBits ? widen5(e[0]) : e[0];
            if (out == 4) d[3] = e[3];
            break;
        }
        case Expansion::kGrey:
        case Expansion::kGreyAlpha:
            d[0] = d[1] = d[2] = s[0];
            if (out == 4) d[3] = s[1];
            break;
        case Expansion::kColour16:
            d[0] = widen5(value & 0x1F);
            d[1] = widen5((value >> 5) & 0x1F);
            d[2] = widen5((value >> 10) & 0x1F);
            if (alphaBit) d[3] = (value & 0x8000) ? 255 : 0;
            break;
        case Expansion::kNone:
            break;
        }
    }
}

cFormatTGA::~cFormatTGA() { release(); }

void cFormatTGA::release()
{
    delete[] pixels_;
    delete[] identification_;
    pixels_ = nullptr;
    identification_ = nullptr;
    width_ = height_ = bitsPerPixel_ = storedBitsPerPixel_ = imageType_ = colourMapBits_ = 0;
    blockSize_ = 0;
    std::memset(palette_, 0, sizeof palette_);
    hasColourMap_ = false;
}

int cFormatTGA::load(cStream* stream)
{
    release();
    if (!stream || stream->size() == 0) return -1;

    unsigned char header[18] = {};
    stream->read(header, sizeof header);
    const int idLength = header[0];
    const int colourMapType = header[1];
    const int colourMapFirst = le16(header + 3);
    const int colourMapLength = le16(header + 5);
    const int colourMapBits = header[7];
    width_ = static_cast<short>(le16(header + 12));
    height_ = static_cast<short>(le16(header + 14));
    storedBitsPerPixel_ = header[16];
    imageType_ = header[2];
    // Bits 0-3 of the descriptor: alpha bits per pixel.
    const bool alphaBit = (header[17] & 0x0F) != 0;

    if (!knownImageType(imageType_) || !knownDepth(storedBitsPerPixel_)) {
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
        colourMapBits_ = entryBytes * 8;
    }

    if (width_ <= 0 || height_ <= 0 || width_ > kMaxSide || height_ > kMaxSide) {
        platform::reportProblem("Warning cFormatTGA::load() bad size %i x %i\n", width_, height_);
        release();
        return -1;
    }
    const int pixelBytes = storedBitsPerPixel_ / 8;
    const size_t pixelCount = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    const size_t dataBytes = bytesLeft(stream);
    // Missing data at the end reads as zeros, but a block that the rest of
    // the file could not fill even at the best run-length ratio is a broken
    // or hostile header; it must not cost an allocation of that size.
    if (pixelCount > mostPixelsFrom(dataBytes, pixelBytes)) {
        platform::reportProblem(
            "Warning cFormatTGA::load() %i x %i x %i bits is more than the file's %zu data bytes hold\n", width_,
            height_, storedBitsPerPixel_, dataBytes);
        release();
        return -1;
    }

    // 8- and 16-bit pixels are expanded to 24 bits, or 32 where they carry
    // alpha: a palette of 32-bit entries, grey with alpha, 16-bit colour
    // whose descriptor counts an alpha bit.
    const Expansion kind = expansionFor(imageType_, storedBitsPerPixel_);
    bitsPerPixel_ = storedBitsPerPixel_;
    if (kind == Expansion::kMapped)
        bitsPerPixel_ = colourMapBits_ == 32 ? 32 : 24;
    else if (kind == Expansion::kGrey)
        bitsPerPixel_ = 24;
    else if (kind == Expansion::kGreyAlpha)
        bitsPerPixel_ = 32;
    else if (kind == Expansion::kColour16)
        bitsPerPixel_ = alphaBit ? 32 : 24;

    const size_t storedSize = pixelCount * static_cast<size_t>(pixelBytes);
    blockSize_ = pixelCount * static_cast<size_t>(bitsPerPixel_ / 8);
    unsigned char* stored = new (std::nothrow) unsigned char[storedSize]();
    if (kind != Expansion::kNone && stored)
        pixels_ = new (std::nothrow) unsigned char[blockSize_];
    else
        pixels_ = stored;
    if (!stored || !pixels_) {
        platform::reportProblem("Warning cFormatTGA::load() out of memory for %i x %i x %i bits\n", width_, height_,
                                storedBitsPerPixel_);
        if (stored != pixels_) delete[] stored;
        release();
        return -1;
    }

    if (imageType_ <= 3) {
        stream->read(stored, static_cast<int>(storedSize));
    } else {
        std::vector<unsigned char> data(dataBytes);
        if (dataBytes) stream->read(data.data(), static_cast<int>(dataBytes));
        decodeRuns(data.data(), data.size(), stored, storedSize, pixelBytes);
    }
    if (stored != pixels_) {
        expand(stored, pixelCount, storedBitsPerPixel_, alphaBit);
        delete[] stored;
    }
    return 0;
}
