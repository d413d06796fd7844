// The accurate integer inverse DCT in SSE2, eight columns (then eight rows)
// at a time. Every product is formed with pmaddwd on pairs of 16-bit inputs,
// with the constants of the scalar flow graph folded into one factor per
// input (sums and differences of the 13-bit constants, so the integer result
// is exactly that of the scalar transform). No 32-bit sum can overflow for
// any 16-bit input, and between the passes the values are saturated to 16
// bits like in the scalar code: the output matches it bit for bit.
#include "common/media/jpeg/jpeg_internal.h"

#if defined(__SSE2__)
#include <emmintrin.h>

namespace {

// pmaddwd factors for the pairs (a, b) of unpacked inputs: a * ka + b * kb.
inline __m128i factors(int16_t ka, int16_t kb) { return _mm_set_epi16(kb, ka, kb, ka, kb, ka, kb, ka); }

// One 8-point transform along the registers: v[i] holds input i of eight
// independent transforms. The results are descaled by Shift, with bias added
// before, and saturated to 16 bits.
template <int Shift> inline void pass(__m128i v[8], __m128i bias)
{
    const __m128i k04p = factors(8192, 8192), k04m = factors(8192, -8192);
    // tmp2 = z2 * F0541 + z3 * (F0541 - F1847), tmp3 = z2 * (F0541 + F0765) + z3 * F0541
    const __m128i k26a = factors(4433, 4433 - 15137), k26b = factors(4433 + 6270, 4433);
    // Odd part: each output as a sum over t0..t3 (inputs 7, 5, 3, 1).
    const __m128i k0a = factors(2446 - 7373 - 16069 + 9633, 9633);
    const __m128i k0b = factors(9633 - 16069, 9633 - 7373);
    const __m128i k1a = factors(9633, 16819 - 20995 - 3196 + 9633);
    const __m128i k1b = factors(9633 - 20995, 9633 - 3196);
    const __m128i k2a = factors(9633 - 16069, 9633 - 20995);
    const __m128i k2b = factors(25172 - 20995 - 16069 + 9633, 9633);
    const __m128i k3a = factors(9633 - 7373, 9633 - 3196);
    const __m128i k3b = factors(9633, 12299 - 7373 - 3196 + 9633);

    __m128i out[8][2];
    for (int half = 0; half < 2; half++) {
        auto unpack = [half](__m128i a, __m128i b) {
            return half ? _mm_unpackhi_epi16(a, b) : _mm_unpacklo_epi16(a, b);
        };
        const __m128i p04 = unpack(v[0], v[4]);
        const __m128i p26 = unpack(v[2], v[6]);
        const __m128i p75 = unpack(v[7], v[5]);
        const __m128i p31 = unpack(v[3], v[1]);

        const __m128i tmp0 = _mm_add_epi32(_mm_madd_epi16(p04, k04p), bias);
        const __m128i tmp1 = _mm_add_epi32(_mm_madd_epi16(p04, k04m), bias);
        const __m128i tmp2 = _mm_madd_epi16(p26, k26a);
        const __m128i tmp3 = _mm_madd_epi16(p26, k26b);
        const __m128i tmp10 = _mm_add_epi32(tmp0, tmp3), tmp13 = _mm_sub_epi32(tmp0, tmp3);
        const __m128i tmp11 = _mm_add_epi32(tmp1, tmp2), tmp12 = _mm_sub_epi32(tmp1, tmp2);

        const __m128i o0 = _mm_add_epi32(_mm_madd_epi16(p75, k0a), _mm_madd_epi16(p31, k0b));
        const __m128i o1 = _mm_add_epi32(_mm_madd_epi16(p75, k1a), _mm_madd_epi16(p31, k1b));
        const __m128i o2 = _mm_add_epi32(_mm_madd_epi16(p75, k2a), _mm_madd_epi16(p31, k2b));
        const __m128i o3 = _mm_add_epi32(_mm_madd_epi16(p75, k3a), _mm_madd_epi16(p31, k3b));

        out[0][half] = _mm_srai_epi32(_mm_add_epi32(tmp10, o3), Shift);
        out[7][half] = _mm_srai_epi32(_mm_sub_epi32(tmp10, o3), Shift);
        out[1][half] = _mm_srai_epi32(_mm_add_epi32(tmp11, o2), Shift);
        out[6][half] = _mm_srai_epi32(_mm_sub_epi32(tmp11, o2), Shift);
        out[2][half] = _mm_srai_epi32(_mm_add_epi32(tmp12, o1), Shift);
        out[5][half] = _mm_srai_epi32(_mm_sub_epi32(tmp12, o1), Shift);
        out[3][half] = _mm_srai_epi32(_mm_add_epi32(tmp13, o0), Shift);
        out[4][half] = _mm_srai_epi32(_mm_sub_epi32(tmp13, o0), Shift);
    }
    for (int i = 0; i < 8; i++) v[i] = _mm_packs_epi32(out[i][0], out[i][1]);
}

inline void transpose(__m128i v[8])
{
    const __m128i a0 = _mm_unpacklo_epi16(v[0], v[1]), a1 = _mm_unpackhi_epi16(v[0], v[1]);
    const __m128i a2 = _mm_unpacklo_epi16(v[2], v[3]), a3 = _mm_unpackhi_epi16(v[2], v[3]);
    const __m128i a4 = _mm_unpacklo_epi16(v[4], v[5]), a5 = _mm_unpackhi_epi16(v[4], v[5]);
    const __m128i a6 = _mm_unpacklo_epi16(v[6], v[7]), a7 = _mm_unpackhi_epi16(v[6], v[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    v[0] = _mm_unpacklo_epi64(b0, b4);
    v[1] = _mm_unpackhi_epi64(b0, b4);
    v[2] = _mm_unpacklo_epi64(b1, b5);
    v[3] = _mm_unpackhi_epi64(b1, b5);
    v[4] = _mm_unpacklo_epi64(b2, b6);
    v[5] = _mm_unpackhi_epi64(b2, b6);
    v[6] = _mm_unpacklo_epi64(b3, b7);
    v[7] = _mm_unpackhi_epi64(b3, b7);
}

} // namespace

void jpegIdctSimd(const int16_t* coefficients, const uint16_t* quant, uint8_t* out, int stride)
{
    __m128i v[8];
    __m128i ac = _mm_setzero_si128();
    for (int i = 0; i < 8; i++) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + i * 8));
        const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i*>(quant + i * 8));
        v[i] = _mm_mullo_epi16(c, q);
        ac = _mm_or_si128(ac, i ? v[i] : _mm_srli_si128(v[i], 2));
    }

    if (_mm_movemask_epi8(_mm_cmpeq_epi8(ac, _mm_setzero_si128())) == 0xFFFF) {
        // Only the DC term: every sample is the same. Same arithmetic as the
        // two passes on a lone DC value.
        int w = int(int16_t(_mm_cvtsi128_si32(v[0]))) * 4;
        w = w < -32768 ? -32768 : w > 32767 ? 32767 : w;
        int s = ((w + 16) >> 5) + 128;
        s = s < 0 ? 0 : s > 255 ? 255 : s;
        const __m128i fill = _mm_set1_epi8(char(s));
        for (int r = 0; r < 8; r++) _mm_storel_epi64(reinterpret_cast<__m128i*>(out + r * stride), fill);
        return;
    }

    pass<11>(v, _mm_set1_epi32(1 << 10)); // columns
    transpose(v);
    pass<18>(v, _mm_set1_epi32(1 << 17)); // rows, as columns of the transpose
    transpose(v);

    const __m128i shift = _mm_set1_epi8(char(0x80));
    for (int r = 0; r < 8; r += 2) {
        const __m128i bytes = _mm_xor_si128(_mm_packs_epi16(v[r], v[r + 1]), shift);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + r * stride), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (r + 1) * stride), _mm_srli_si128(bytes, 8));
    }
}

void jpegIdctRowSse2(int16_t* blocks, int count, const uint16_t* quant, uint8_t* out, int stride)
{
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < count; i++) {
        int16_t* block = blocks + i * 64;
        jpegIdctSimd(block, quant, out + i * 8, stride);
        for (int k = 0; k < 64; k += 8) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + k), zero);
    }
}

#else

void jpegIdctRowSse2(int16_t* blocks, int count, const uint16_t* quant, uint8_t* out, int stride)
{
    jpegIdctRowScalar(blocks, count, quant, out, stride);
}

void jpegIdctSimd(const int16_t* coefficients, const uint16_t* quant, uint8_t* out, int stride)
{
    int16_t block[64];
    for (int i = 0; i < 64; i++) block[i] = int16_t(uint16_t(uint32_t(uint16_t(coefficients[i])) * quant[i]));
    jpegIdctScalar(block, out, stride);
}

#endif
