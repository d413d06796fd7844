// YCbCr to RGB in SSE2, sixteen pixels at a time, with exactly the integer
// results of the scalar conversion in jpeg_color.cpp.
#include "common/media/jpeg/jpeg_internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace {

struct Offsets {
    __m128i red, green, blue; // eight 16-bit offsets each
};

// The three offsets of eight chroma samples, exactly as the scalar formulas:
// the factors above 32767 are split into a multiple of 65536, applied as a
// whole multiple of the sample, and a remainder taken through pmaddwd.
inline Offsets chromaOffsets(__m128i cb8, __m128i cr8)
{
    const __m128i zero = _mm_setzero_si128(), bias = _mm_set1_epi16(128);
    const __m128i cb = _mm_sub_epi16(_mm_unpacklo_epi8(cb8, zero), bias);
    const __m128i cr = _mm_sub_epi16(_mm_unpacklo_epi8(cr8, zero), bias);
    const __m128i lo = _mm_unpacklo_epi16(cr, cb), hi = _mm_unpackhi_epi16(cr, cb);
    const __m128i round = _mm_set1_epi32(32768);
    const __m128i kRed = _mm_set_epi16(0, 26346, 0, 26346, 0, 26346, 0, 26346);      // 91882 - 65536
    const __m128i kBlue = _mm_set_epi16(-14942, 0, -14942, 0, -14942, 0, -14942, 0); // 116130 - 131072
    const __m128i kGreen = _mm_set_epi16(-22554, 18734, -22554, 18734, -22554, 18734, -22554, 18734);
    auto term = [&](__m128i k) {
        const __m128i a = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(lo, k), round), 16);
        const __m128i b = _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(hi, k), round), 16);
        return _mm_packs_epi32(a, b);
    };
    Offsets o;
    o.red = _mm_add_epi16(term(kRed), cr);
    o.blue = _mm_add_epi16(term(kBlue), _mm_add_epi16(cb, cb));
    o.green = _mm_sub_epi16(term(kGreen), cr); // -46802 = 18734 - 65536
    return o;
}

// Sixteen pixels from sixteen luma samples and their offsets (two halves).
inline void storePixels(const uint8_t* y, const Offsets& a, const Offsets& b, uint8_t* out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i luma = _mm_loadu_si128(reinterpret_cast<const __m128i*>(y));
    const __m128i yl = _mm_unpacklo_epi8(luma, zero), yh = _mm_unpackhi_epi8(luma, zero);
    const __m128i r = _mm_packus_epi16(_mm_add_epi16(yl, a.red), _mm_add_epi16(yh, b.red));
    const __m128i g = _mm_packus_epi16(_mm_add_epi16(yl, a.green), _mm_add_epi16(yh, b.green));
    const __m128i bl = _mm_packus_epi16(_mm_add_epi16(yl, a.blue), _mm_add_epi16(yh, b.blue));
    const __m128i opaque = _mm_set1_epi8(char(0xFF));
    const __m128i rgLo = _mm_unpacklo_epi8(r, g), rgHi = _mm_unpackhi_epi8(r, g);
    const __m128i bxLo = _mm_unpacklo_epi8(bl, opaque), bxHi = _mm_unpackhi_epi8(bl, opaque);
    __m128i* dst = reinterpret_cast<__m128i*>(out);
    _mm_storeu_si128(dst + 0, _mm_unpacklo_epi16(rgLo, bxLo));
    _mm_storeu_si128(dst + 1, _mm_unpackhi_epi16(rgLo, bxLo));
    _mm_storeu_si128(dst + 2, _mm_unpacklo_epi16(rgHi, bxHi));
    _mm_storeu_si128(dst + 3, _mm_unpackhi_epi16(rgHi, bxHi));
}

inline Offsets doubled(const Offsets& o, bool high)
{
    Offsets d;
    d.red = high ? _mm_unpackhi_epi16(o.red, o.red) : _mm_unpacklo_epi16(o.red, o.red);
    d.green = high ? _mm_unpackhi_epi16(o.green, o.green) : _mm_unpacklo_epi16(o.green, o.green);
    d.blue = high ? _mm_unpackhi_epi16(o.blue, o.blue) : _mm_unpacklo_epi16(o.blue, o.blue);
    return d;
}

} // namespace

void jpegColourRowSimd(const sJPEGColour&, const uint8_t* y0, const uint8_t* y1, const uint8_t* cb, const uint8_t* cr,
                       uint8_t* out0, uint8_t* out1, int count, int chromaShift)
{
    for (int x = 0; x < count; x += 16) {
        Offsets a, b;
        if (chromaShift) {
            const int c = x >> 1;
            const Offsets o = chromaOffsets(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + c)),
                                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + c)));
            a = doubled(o, false);
            b = doubled(o, true);
        } else {
            const __m128i cb16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x));
            const __m128i cr16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x));
            a = chromaOffsets(cb16, cr16);
            b = chromaOffsets(_mm_srli_si128(cb16, 8), _mm_srli_si128(cr16, 8));
        }
        storePixels(y0 + x, a, b, out0 + x * 4);
        if (y1) storePixels(y1 + x, a, b, out1 + x * 4);
    }
}

#else

void jpegColourRowSimd(const sJPEGColour& colour, const uint8_t* y0, const uint8_t* y1, const uint8_t* cb,
                       const uint8_t* cr, uint8_t* out0, uint8_t* out1, int count, int chromaShift)
{
    jpegColourRowScalar(colour, y0, y1, cb, cr, out0, out1, count, chromaShift);
}

#endif
