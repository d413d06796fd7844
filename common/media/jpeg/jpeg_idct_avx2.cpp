// The accurate integer inverse DCT in AVX2, two blocks at a time: the SSE2
// transform of jpeg_idct_sse2.cpp with one block in each 128-bit lane (every
// instruction it uses works lane by lane), so the output is the scalar
// transform's, bit for bit. Compiled for AVX2 function by function; the
// dispatcher calls it only where cpuid reports AVX2.
#include "common/media/jpeg/jpeg_internal.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define KX_AVX2 __attribute__((target("avx2")))

namespace {

KX_AVX2 inline __m256i factors(int16_t ka, int16_t kb)
{
    return _mm256_set1_epi32(int32_t(uint32_t(uint16_t(kb)) << 16 | uint16_t(ka)));
}

// The eight 32-bit outputs of one 8-point transform for four columns per
// lane, from the inputs unpacked into pairs: p04 = (in0, in4), p26, p75, p31.
template <int Shift>
KX_AVX2 inline void butterfly(__m256i p04, __m256i p26, __m256i p75, __m256i p31, __m256i bias, __m256i* out)
{
    const __m256i k04p = factors(8192, 8192), k04m = factors(8192, -8192);
    const __m256i k26a = factors(4433, 4433 - 15137), k26b = factors(4433 + 6270, 4433);
    const __m256i k0a = factors(2446 - 7373 - 16069 + 9633, 9633);
    const __m256i k0b = factors(9633 - 16069, 9633 - 7373);
    const __m256i k1a = factors(9633, 16819 - 20995 - 3196 + 9633);
    const __m256i k1b = factors(9633 - 20995, 9633 - 3196);
    const __m256i k2a = factors(9633 - 16069, 9633 - 20995);
    const __m256i k2b = factors(25172 - 20995 - 16069 + 9633, 9633);
    const __m256i k3a = factors(9633 - 7373, 9633 - 3196);
    const __m256i k3b = factors(9633, 12299 - 7373 - 3196 + 9633);

    const __m256i tmp0 = _mm256_add_epi32(_mm256_madd_epi16(p04, k04p), bias);
    const __m256i tmp1 = _mm256_add_epi32(_mm256_madd_epi16(p04, k04m), bias);
    const __m256i tmp2 = _mm256_madd_epi16(p26, k26a);
    const __m256i tmp3 = _mm256_madd_epi16(p26, k26b);
    const __m256i tmp10 = _mm256_add_epi32(tmp0, tmp3), tmp13 = _mm256_sub_epi32(tmp0, tmp3);
    const __m256i tmp11 = _mm256_add_epi32(tmp1, tmp2), tmp12 = _mm256_sub_epi32(tmp1, tmp2);

    const __m256i o0 = _mm256_add_epi32(_mm256_madd_epi16(p75, k0a), _mm256_madd_epi16(p31, k0b));
    const __m256i o1 = _mm256_add_epi32(_mm256_madd_epi16(p75, k1a), _mm256_madd_epi16(p31, k1b));
    const __m256i o2 = _mm256_add_epi32(_mm256_madd_epi16(p75, k2a), _mm256_madd_epi16(p31, k2b));
    const __m256i o3 = _mm256_add_epi32(_mm256_madd_epi16(p75, k3a), _mm256_madd_epi16(p31, k3b));

    out[0] = _mm256_srai_epi32(_mm256_add_epi32(tmp10, o3), Shift);
    out[7] = _mm256_srai_epi32(_mm256_sub_epi32(tmp10, o3), Shift);
    out[1] = _mm256_srai_epi32(_mm256_add_epi32(tmp11, o2), Shift);
    out[6] = _mm256_srai_epi32(_mm256_sub_epi32(tmp11, o2), Shift);
    out[2] = _mm256_srai_epi32(_mm256_add_epi32(tmp12, o1), Shift);
    out[5] = _mm256_srai_epi32(_mm256_sub_epi32(tmp12, o1), Shift);
    out[3] = _mm256_srai_epi32(_mm256_add_epi32(tmp13, o0), Shift);
    out[4] = _mm256_srai_epi32(_mm256_sub_epi32(tmp13, o0), Shift);
}

// One 8-point transform along the registers (v[i]: input i of eight columns
// per lane), descaled by Shift after adding bias, saturated to 16 bits.
template <int Shift> KX_AVX2 inline void pass(__m256i v[8], __m256i bias)
{
    __m256i lo[8], hi[8];
    butterfly<Shift>(_mm256_unpacklo_epi16(v[0], v[4]), _mm256_unpacklo_epi16(v[2], v[6]),
                     _mm256_unpacklo_epi16(v[7], v[5]), _mm256_unpacklo_epi16(v[3], v[1]), bias, lo);
    butterfly<Shift>(_mm256_unpackhi_epi16(v[0], v[4]), _mm256_unpackhi_epi16(v[2], v[6]),
                     _mm256_unpackhi_epi16(v[7], v[5]), _mm256_unpackhi_epi16(v[3], v[1]), bias, hi);
    for (int i = 0; i < 8; i++) v[i] = _mm256_packs_epi32(lo[i], hi[i]);
}

KX_AVX2 inline void transpose(__m256i v[8])
{
    const __m256i a0 = _mm256_unpacklo_epi16(v[0], v[1]), a1 = _mm256_unpackhi_epi16(v[0], v[1]);
    const __m256i a2 = _mm256_unpacklo_epi16(v[2], v[3]), a3 = _mm256_unpackhi_epi16(v[2], v[3]);
    const __m256i a4 = _mm256_unpacklo_epi16(v[4], v[5]), a5 = _mm256_unpackhi_epi16(v[4], v[5]);
    const __m256i a6 = _mm256_unpacklo_epi16(v[6], v[7]), a7 = _mm256_unpackhi_epi16(v[6], v[7]);
    const __m256i b0 = _mm256_unpacklo_epi32(a0, a2), b1 = _mm256_unpackhi_epi32(a0, a2);
    const __m256i b2 = _mm256_unpacklo_epi32(a1, a3), b3 = _mm256_unpackhi_epi32(a1, a3);
    const __m256i b4 = _mm256_unpacklo_epi32(a4, a6), b5 = _mm256_unpackhi_epi32(a4, a6);
    const __m256i b6 = _mm256_unpacklo_epi32(a5, a7), b7 = _mm256_unpackhi_epi32(a5, a7);
    v[0] = _mm256_unpacklo_epi64(b0, b4);
    v[1] = _mm256_unpackhi_epi64(b0, b4);
    v[2] = _mm256_unpacklo_epi64(b1, b5);
    v[3] = _mm256_unpackhi_epi64(b1, b5);
    v[4] = _mm256_unpacklo_epi64(b2, b6);
    v[5] = _mm256_unpackhi_epi64(b2, b6);
    v[6] = _mm256_unpacklo_epi64(b3, b7);
    v[7] = _mm256_unpackhi_epi64(b3, b7);
}

// Blocks a (lane 0) and a + 64 (lane 1) into two squares side by side at out.
// Leaves both blocks zeroed.
KX_AVX2 inline void transformPair(int16_t* a, const uint16_t* quant, uint8_t* out, int stride)
{
    __m256i v[8];
    __m256i ac = _mm256_setzero_si256();
    const __m256i zero = _mm256_setzero_si256();
    for (int i = 0; i < 8; i++) {
        const __m128i ca = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i * 8));
        const __m128i cb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 64 + i * 8));
        const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant + i * 8));
        v[i] = _mm256_mullo_epi16(_mm256_inserti128_si256(_mm256_castsi128_si256(ca), cb, 1),
                                  _mm256_broadcastsi128_si256(q));
        ac = _mm256_or_si256(ac, i ? v[i] : _mm256_srli_si256(v[i], 2));
    }
    for (int i = 0; i < 128; i += 16) _mm256_storeu_si256(reinterpret_cast<__m256i*>(a + i), zero);

    if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(ac, zero)) == -1) {
        // Only DC terms: each square is one value (as in the SSE2 transform).
        uint8_t fill[2];
        for (int lane = 0; lane < 2; lane++) {
            const __m128i half = lane ? _mm256_extracti128_si256(v[0], 1) : _mm256_castsi256_si128(v[0]);
            int w = int(int16_t(_mm_cvtsi128_si32(half))) * 4;
            w = w < -32768 ? -32768 : w > 32767 ? 32767 : w;
            int s = ((w + 16) >> 5) + 128;
            fill[lane] = uint8_t(s < 0 ? 0 : s > 255 ? 255 : s);
        }
        const __m128i row = _mm_unpacklo_epi64(_mm_set1_epi8(char(fill[0])), _mm_set1_epi8(char(fill[1])));
        for (int r = 0; r < 8; r++) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + r * stride), row);
        return;
    }

    pass<11>(v, _mm256_set1_epi32(1 << 10)); // columns
    transpose(v);
    pass<18>(v, _mm256_set1_epi32(1 << 17)); // rows, as columns of the transpose
    transpose(v);

    const __m256i shift = _mm256_set1_epi8(char(0x80));
    for (int r = 0; r < 8; r += 2) {
        // Per lane: row r, then row r + 1 of its block; reordered to
        // (a row r, b row r, a row r + 1, b row r + 1).
        const __m256i bytes = _mm256_xor_si256(_mm256_packs_epi16(v[r], v[r + 1]), shift);
        const __m256i rows = _mm256_permute4x64_epi64(bytes, 0xD8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + r * stride), _mm256_castsi256_si128(rows));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (r + 1) * stride), _mm256_extracti128_si256(rows, 1));
    }
}

} // namespace

KX_AVX2 void jpegIdctRowAvx2(int16_t* blocks, int count, const uint16_t* quant, uint8_t* out, int stride)
{
    int i = 0;
    for (; i + 2 <= count; i += 2) transformPair(blocks + i * 64, quant, out + i * 8, stride);
    if (i < count) jpegIdctRowSse2(blocks + i * 64, count - i, quant, out + i * 8, stride);
}

#else

void jpegIdctRowAvx2(int16_t* blocks, int count, const uint16_t* quant, uint8_t* out, int stride)
{
    jpegIdctRowSse2(blocks, count, quant, out, stride);
}

#endif
