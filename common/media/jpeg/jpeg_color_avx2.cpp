// YCbCr to RGB in AVX2, thirty-two pixels at a time: the SSE2 conversion of
// jpeg_color_sse2.cpp on both 128-bit lanes at once (lane 0 takes pixels
// 0-15, lane 1 pixels 16-31), with the same integer results as the scalar
// conversion. Compiled for AVX2 function by function, so that the rest of
// the program runs on any x86-64; the dispatcher calls it only where cpuid
// reports AVX2.
#include "common/media/jpeg/jpeg_internal.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define KX_AVX2 __attribute__((target("avx2")))

namespace {

struct Offsets {
    __m256i red, green, blue; // eight 16-bit offsets per lane
};

// factor * (pairs of Cr, Cb), rounded and scaled down by 2^16, to 16 bits.
KX_AVX2 inline __m256i term(__m256i lo, __m256i hi, __m256i factor)
{
    const __m256i round = _mm256_set1_epi32(32768);
    const __m256i a = _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(lo, factor), round), 16);
    const __m256i b = _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(hi, factor), round), 16);
    return _mm256_packs_epi32(a, b);
}

// The offsets of the eight chroma samples in the low half of each lane (see
// chromaOffsets in jpeg_color_sse2.cpp for how the factors are split).
KX_AVX2 inline Offsets chromaOffsets(__m256i cb8, __m256i cr8)
{
    const __m256i zero = _mm256_setzero_si256(), bias = _mm256_set1_epi16(128);
    const __m256i cb = _mm256_sub_epi16(_mm256_unpacklo_epi8(cb8, zero), bias);
    const __m256i cr = _mm256_sub_epi16(_mm256_unpacklo_epi8(cr8, zero), bias);
    const __m256i lo = _mm256_unpacklo_epi16(cr, cb), hi = _mm256_unpackhi_epi16(cr, cb);
    const __m256i kRed = _mm256_set1_epi32(26346);                      // 91882 - 65536 (Cr), 0 (Cb)
    const __m256i kBlue = _mm256_set1_epi32(int32_t(uint32_t(-14942) << 16)); // 0 (Cr), 116130 - 131072 (Cb)
    const __m256i kGreen = _mm256_set1_epi32(int32_t(uint32_t(-22554) << 16 | 18734u));
    Offsets o;
    o.red = _mm256_add_epi16(term(lo, hi, kRed), cr);
    o.blue = _mm256_add_epi16(term(lo, hi, kBlue), _mm256_add_epi16(cb, cb));
    o.green = _mm256_sub_epi16(term(lo, hi, kGreen), cr); // -46802 = 18734 - 65536
    return o;
}

// Thirty-two pixels: a holds the offsets of pixels 0-7 and 16-23, b those of
// 8-15 and 24-31.
KX_AVX2 inline void storePixels(const uint8_t* y, const Offsets& a, const Offsets& b, uint8_t* out)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
    const __m256i yl = _mm256_unpacklo_epi8(luma, zero), yh = _mm256_unpackhi_epi8(luma, zero);
    const __m256i r = _mm256_packus_epi16(_mm256_add_epi16(yl, a.red), _mm256_add_epi16(yh, b.red));
    const __m256i g = _mm256_packus_epi16(_mm256_add_epi16(yl, a.green), _mm256_add_epi16(yh, b.green));
    const __m256i bl = _mm256_packus_epi16(_mm256_add_epi16(yl, a.blue), _mm256_add_epi16(yh, b.blue));
    const __m256i opaque = _mm256_set1_epi8(char(0xFF));
    const __m256i rgLo = _mm256_unpacklo_epi8(r, g), rgHi = _mm256_unpackhi_epi8(r, g);
    const __m256i bxLo = _mm256_unpacklo_epi8(bl, opaque), bxHi = _mm256_unpackhi_epi8(bl, opaque);
    // Pixels 0-3 | 16-19, 4-7 | 20-23, 8-11 | 24-27, 12-15 | 28-31.
    const __m256i p0 = _mm256_unpacklo_epi16(rgLo, bxLo), p1 = _mm256_unpackhi_epi16(rgLo, bxLo);
    const __m256i p2 = _mm256_unpacklo_epi16(rgHi, bxHi), p3 = _mm256_unpackhi_epi16(rgHi, bxHi);
    __m256i* dst = reinterpret_cast<__m256i*>(out);
    _mm256_storeu_si256(dst + 0, _mm256_permute2x128_si256(p0, p1, 0x20));
    _mm256_storeu_si256(dst + 1, _mm256_permute2x128_si256(p2, p3, 0x20));
    _mm256_storeu_si256(dst + 2, _mm256_permute2x128_si256(p0, p1, 0x31));
    _mm256_storeu_si256(dst + 3, _mm256_permute2x128_si256(p2, p3, 0x31));
}

KX_AVX2 inline Offsets doubled(const Offsets& o, bool high)
{
    Offsets d;
    d.red = high ? _mm256_unpackhi_epi16(o.red, o.red) : _mm256_unpacklo_epi16(o.red, o.red);
    d.green = high ? _mm256_unpackhi_epi16(o.green, o.green) : _mm256_unpacklo_epi16(o.green, o.green);
    d.blue = high ? _mm256_unpackhi_epi16(o.blue, o.blue) : _mm256_unpacklo_epi16(o.blue, o.blue);
    return d;
}

// Sixteen bytes as eight in the low half of each lane: bytes 0-7 in lane 0,
// 8-15 in lane 1.
KX_AVX2 inline __m256i spread(const uint8_t* p)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm256_permute4x64_epi64(_mm256_castsi128_si256(v), 0x50);
}

} // namespace

KX_AVX2 void jpegColourRowAvx2(const sJPEGColour& colour, const uint8_t* y0, const uint8_t* y1, const uint8_t* cb,
                               const uint8_t* cr, uint8_t* out0, uint8_t* out1, int count, int chromaShift)
{
    int x = 0;
    for (; x + 32 <= count; x += 32) {
        Offsets a, b;
        if (chromaShift) {
            const int c = x >> 1;
            const Offsets o = chromaOffsets(spread(cb + c), spread(cr + c));
            a = doubled(o, false);
            b = doubled(o, true);
        } else {
            const __m256i cb32 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cb + x));
            const __m256i cr32 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cr + x));
            a = chromaOffsets(cb32, cr32);
            b = chromaOffsets(_mm256_srli_si256(cb32, 8), _mm256_srli_si256(cr32, 8));
        }
        storePixels(y0 + x, a, b, out0 + x * 4);
        if (y1) storePixels(y1 + x, a, b, out1 + x * 4);
    }
    if (x < count) {
        // The last 1 to 31 pixels, 16 at a time.
        const int chroma = x >> chromaShift;
        jpegColourRowSimd(colour, y0 + x, y1 ? y1 + x : nullptr, cb + chroma, cr + chroma, out0 + x * 4,
                          y1 ? out1 + x * 4 : nullptr, count - x, chromaShift);
    }
}

#else

void jpegColourRowAvx2(const sJPEGColour& colour, const uint8_t* y0, const uint8_t* y1, const uint8_t* cb,
                       const uint8_t* cr, uint8_t* out0, uint8_t* out1, int count, int chromaShift)
{
    jpegColourRowSimd(colour, y0, y1, cb, cr, out0, out1, count, chromaShift);
}

#endif
