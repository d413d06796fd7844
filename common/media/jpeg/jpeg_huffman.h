// The Huffman decoder of the JPEG decoder: decoding symbols and the values
// that follow them from the bit reader's state. The decode tables
// (sJPEGHuffman) and the bit reader's state (sJPEGBits) are declared in
// jpeg_internal.h; the tables are built in jpeg_huffman.cpp. How the bit
// reader is filled from the input is the decoder's.
#pragma once

#include "common/media/jpeg/jpeg_internal.h"

#if defined(__GNUC__)
#define KX_INLINE inline __attribute__((always_inline))
#else
#define KX_INLINE inline
#endif

// n bits (1..16) from the top of the buffer; the caller made sure they are there.
KX_INLINE int jpegTakeBits(sJPEGBits& b, int n)
{
    const int v = int(b.buffer >> (64 - n));
    b.buffer <<= n;
    b.count -= n;
    return v;
}

// The signed value of an n-bit magnitude category.
KX_INLINE int jpegExtend(int v, int n) { return v < (1 << (n - 1)) ? v - (1 << n) + 1 : v; }

// Needs 16 bits in the buffer. A bit string that is no code of the table (as
// the one-bits after the end of the data) decodes as symbol 0 after 16 bits.
KX_INLINE int jpegDecodeSymbol(sJPEGBits& b, const sJPEGHuffman& table)
{
    const uint32_t entry = table.lookup[b.buffer >> 56];
    if (entry & 0xF00) {
        const int length = (entry >> 8) & 15;
        b.buffer <<= length;
        b.count -= length;
        return int(entry & 0xFF);
    }
    int node = int(entry >> 16);
    if (node) {
        uint64_t bits = b.buffer << 8;
        for (int length = 9; length <= 16; length++, bits <<= 1) {
            const uint16_t child = table.tree[node][bits >> 63];
            if (child == sJPEGHuffman::kNone) break;
            if (child & sJPEGHuffman::kLeaf) {
                b.buffer <<= length;
                b.count -= length;
                return child & 0xFF;
            }
            node = child;
        }
    }
    b.buffer <<= 16;
    b.count -= 16;
    return 0;
}

// True once the data has run out: a marker was reached and every real bit
// before it is used.
KX_INLINE bool jpegDataExhausted(const sJPEGBits& b) { return b.marker && b.count <= b.fill; }
