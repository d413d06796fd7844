// Building blocks of the JPEG decoder that the tests also reach: the memory
// list, the Huffman decode tables, the inverse transforms and the colour
// conversion.
#pragma once

#include <cstddef>
#include <cstdint>

// Position in natural (row-major) order of the k-th coefficient in zig-zag
// order. Entries past 63 let a corrupt run land on a harmless position.
extern const uint8_t kJPEGZigZag[64 + 16];

// ---- memory -----------------------------------------------------------------

// Every block the decoder allocates, zero-filled and aligned to 16 bytes, in a
// list of at most kLimit entries; freeAll() (and the destructor) frees them.
class cJPEGMemory {
public:
    enum : int { kLimit = 100 };
    // No single block of a valid image comes near this.
    static constexpr size_t kLargest = size_t(512) << 20;

    cJPEGMemory() = default;
    ~cJPEGMemory() { freeAll(); }
    cJPEGMemory(const cJPEGMemory&) = delete;
    cJPEGMemory& operator=(const cJPEGMemory&) = delete;

    // A zero-filled block, or null with error set to kJPEGTooManyBlocks or
    // kJPEGOutOfMemory.
    void* allocate(size_t bytes, int& error);
    void freeAll();
    int count() const { return count_; }

private:
    void* blocks_[kLimit] = {};
    int count_ = 0;
};

// ---- Huffman tables ---------------------------------------------------------

// One Huffman table and its decode structures. Codes of up to 8 bits are
// found by one lookup on the next 8 bits; a longer code starts from the
// lookup entry of its first 8 bits and walks a binary tree one bit at a time.
struct sJPEGHuffman {
    // A lookup entry: symbol in bits 0-7, code length (1-8) in bits 8-11; or,
    // with the length 0, the tree node of the prefix in bits 16-31 (node 0
    // means no code starts with these 8 bits).
    enum : int { kMaxNodes = 8 * 256 };
    // Tree children: a node number below kLeaf, kLeaf + symbol, or kNone.
    enum : uint16_t { kLeaf = 0x8000, kNone = 0xFFFF };

    bool defined = false;
    bool built = false;
    uint8_t counts[16] = {}; // codes of each length 1..16
    uint8_t symbols[256] = {};
    int symbolCount = 0;

    uint32_t lookup[256] = {};
    // For AC tables: a code and its extra bits that fit in kFastBits bits
    // together decode in one lookup on the next kFastBits bits: value in bits
    // 16-31, run in bits 8-11, total length in bits 0-7; 0 where they do not
    // fit (and for the codes without extra bits).
    enum : int { kFastBits = 10 };
    uint32_t fast[1 << kFastBits] = {};
    uint16_t tree[kMaxNodes][2] = {};
    int nodeCount = 0;

    // Builds lookup and tree from counts and symbols. Codes that do not fit
    // their length (an over-full table) are left out.
    void build();
};

// ---- inverse transform --------------------------------------------------------

// The accurate integer inverse DCT (Loeffler, Ligtenberg and Moschytz, 13-bit
// constants, two extra bits between the passes) on dequantized coefficients
// in natural order, level-shifted by 128 and clamped to 0..255. The values
// between the passes are saturated to 16 bits, which valid data never reaches.
void jpegIdctScalar(const int16_t* coefficients, uint8_t* out, int stride);

// The same transform with the dequantization inside: coefficient times quant,
// kept to 16 bits, in SSE2 (the scalar transform where SSE2 is missing). Its
// output equals jpegIdctScalar on the 16-bit products, bit for bit.
void jpegIdctSimd(const int16_t* coefficients, const uint16_t* quant, uint8_t* out, int stride);

// ---- colour conversion --------------------------------------------------------

// Fixed-point YCbCr to RGB:
//   red   = Y + (91882 * (Cr - 128) + 32768) >> 16
//   blue  = Y + (116130 * (Cb - 128) + 32768) >> 16
//   green = Y + ((-22554 * (Cb - 128) - 46802 * (Cr - 128) + 32768) >> 16)
// each clamped to 0..255.
struct sJPEGColour {
    int16_t redCr[256];
    int16_t blueCb[256];
    int32_t greenCb[256]; // -22554 * (Cb - 128) + 32768
    int32_t greenCr[256]; // -46802 * (Cr - 128)
    uint8_t clamp[1024];  // clamp[i + 384] = i limited to 0..255
    void build();
};

// Converts count pixels of one row, or of two rows (y1 and out1 not null)
// that share their chroma. chromaShift 1 uses each chroma sample for two luma
// samples side by side. Writes red, green, blue, 255 per pixel. The SIMD
// versions work 16 pixels at a time: luma must be readable and out writable
// up to count rounded up to 16, chroma up to that >> chromaShift.
void jpegColourRowScalar(const sJPEGColour& colour, const uint8_t* y0, const uint8_t* y1, const uint8_t* cb,
                         const uint8_t* cr, uint8_t* out0, uint8_t* out1, int count, int chromaShift);
void jpegColourRowSimd(const sJPEGColour& colour, const uint8_t* y0, const uint8_t* y1, const uint8_t* cb,
                       const uint8_t* cr, uint8_t* out0, uint8_t* out1, int count, int chromaShift);

// ---- kernels by instruction set -----------------------------------------------

// The instruction sets the transform and the colour conversion come in. Every
// level computes exactly what the scalar code computes.
enum class eJPEGSimd : int { scalar = 0, sse2 = 1, avx2 = 2 };

// Inverse-transforms count blocks stored one after the other (64 quantized
// coefficients each, natural order) into count 8 x 8 squares side by side at
// out, dequantizing with quant (products kept to 16 bits; no quant: the
// coefficients are dequantized already, scalar level only). Leaves the blocks
// zeroed for the next use.
using tJPEGIdctRow = void (*)(int16_t* blocks, int count, const uint16_t* quant, uint8_t* out, int stride);
// As jpegColourRowScalar, with the SIMD padding rules above.
using tJPEGColourRow = void (*)(const sJPEGColour& colour, const uint8_t* y0, const uint8_t* y1, const uint8_t* cb,
                                const uint8_t* cr, uint8_t* out0, uint8_t* out1, int count, int chromaShift);

struct sJPEGKernels {
    eJPEGSimd level;
    tJPEGIdctRow idctRow;
    tJPEGColourRow colourRow;
};

// The best level this build and this processor run.
eJPEGSimd jpegSimdAvailable();
// The kernels of a level; a level that is not available gives the best one
// below it.
sJPEGKernels jpegKernels(eJPEGSimd level);

// The kernels of each level (jpeg_idct*.cpp, jpeg_color*.cpp).
void jpegIdctRowScalar(int16_t* blocks, int count, const uint16_t* quant, uint8_t* out, int stride);
void jpegIdctRowSse2(int16_t* blocks, int count, const uint16_t* quant, uint8_t* out, int stride);
void jpegIdctRowAvx2(int16_t* blocks, int count, const uint16_t* quant, uint8_t* out, int stride);
void jpegColourRowAvx2(const sJPEGColour& colour, const uint8_t* y0, const uint8_t* y1, const uint8_t* cb,
                       const uint8_t* cr, uint8_t* out0, uint8_t* out1, int count, int chromaShift);

// ---- bit reader state ---------------------------------------------------------

// The bit reader's state, copied into a local while a row or a scan is
// decoded so that it stays in registers. buffer holds count bits, the next
// one in bit 63; it is topped up eight bytes at a time where the data allows. After a marker has been reached the reader feeds one-bits:
// fill counts them, so the real bits left are count - fill when positive.
struct sJPEGBits {
    uint64_t buffer;
    int count;
    const uint8_t* pos;
    int left;
    bool marker;
    bool markerIsEnd; // the marker reached is the end-of-image marker
    int fill;
};
