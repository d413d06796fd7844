// The accurate integer inverse DCT: the separable Loeffler-Ligtenberg-
// Moschytz flow graph with 13-bit fixed-point constants. The column pass
// keeps two extra bits of precision for the row pass; the row pass removes
// them with the 1/8 of the 2-D transform and adds the level shift.
#include "common/media/jpeg/jpeg_internal.h"

#include <cstring>

namespace {

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;

// Round(x * 2^13).
constexpr int64_t kF0298 = 2446;  // 0.298631336
constexpr int64_t kF0390 = 3196;  // 0.390180644
constexpr int64_t kF0541 = 4433;  // 0.541196100
constexpr int64_t kF0765 = 6270;  // 0.765366865
constexpr int64_t kF0899 = 7373;  // 0.899976223
constexpr int64_t kF1175 = 9633;  // 1.175875602
constexpr int64_t kF1501 = 12299; // 1.501321110
constexpr int64_t kF1847 = 15137; // 1.847759065
constexpr int64_t kF1961 = 16069; // 1.961570560
constexpr int64_t kF2053 = 16819; // 2.053119869
constexpr int64_t kF2562 = 20995; // 2.562915447
constexpr int64_t kF3072 = 25172; // 3.072711026

// One 8-point transform of in[0], in[step], ... into the eight sums before
// descaling. bias is added to every output.
inline void idct8(const int64_t* in, int64_t* out, int64_t bias)
{
    // Even part: inputs 0, 2, 4, 6.
    int64_t z2 = in[2], z3 = in[6];
    int64_t z1 = (z2 + z3) * kF0541;
    int64_t tmp2 = z1 - z3 * kF1847;
    int64_t tmp3 = z1 + z2 * kF0765;
    int64_t tmp0 = (in[0] + in[4]) * (int64_t(1) << kConstBits) + bias;
    int64_t tmp1 = (in[0] - in[4]) * (int64_t(1) << kConstBits) + bias;
    int64_t tmp10 = tmp0 + tmp3, tmp13 = tmp0 - tmp3;
    int64_t tmp11 = tmp1 + tmp2, tmp12 = tmp1 - tmp2;

    // Odd part: inputs 7, 5, 3, 1.
    int64_t t0 = in[7], t1 = in[5], t2 = in[3], t3 = in[1];
    z1 = t0 + t3;
    z2 = t1 + t2;
    z3 = t0 + t2;
    int64_t z4 = t1 + t3;
    int64_t z5 = (z3 + z4) * kF1175;
    t0 *= kF0298;
    t1 *= kF2053;
    t2 *= kF3072;
    t3 *= kF1501;
    z1 *= -kF0899;
    z2 *= -kF2562;
    z3 = z3 * -kF1961 + z5;
    z4 = z4 * -kF0390 + z5;
    t0 += z1 + z3;
    t1 += z2 + z4;
    t2 += z2 + z3;
    t3 += z1 + z4;

    out[0] = tmp10 + t3;
    out[7] = tmp10 - t3;
    out[1] = tmp11 + t2;
    out[6] = tmp11 - t2;
    out[2] = tmp12 + t1;
    out[5] = tmp12 - t1;
    out[3] = tmp13 + t0;
    out[4] = tmp13 - t0;
}

inline int saturate16(int64_t v) { return v < -32768 ? -32768 : v > 32767 ? 32767 : int(v); }

} // namespace

void jpegIdctScalar(const int16_t* coefficients, uint8_t* out, int stride)
{
    int workspace[64];
    int64_t in[8], sums[8];

    // Columns. A column without AC terms is its DC term, scaled.
    for (int c = 0; c < 8; c++) {
        const int16_t* col = coefficients + c;
        if (!(col[8] | col[16] | col[24] | col[32] | col[40] | col[48] | col[56])) {
            const int dc = saturate16(int64_t(col[0]) * (1 << kPass1Bits));
            for (int r = 0; r < 8; r++) workspace[r * 8 + c] = dc;
            continue;
        }
        for (int r = 0; r < 8; r++) in[r] = col[r * 8];
        idct8(in, sums, int64_t(1) << (kConstBits - kPass1Bits - 1));
        for (int r = 0; r < 8; r++) workspace[r * 8 + c] = saturate16(sums[r] >> (kConstBits - kPass1Bits));
    }

    // Rows: remove the extra bits and the factor 8, round, level-shift, clamp.
    constexpr int kShift = kConstBits + kPass1Bits + 3;
    for (int r = 0; r < 8; r++) {
        const int* row = workspace + r * 8;
        uint8_t* dst = out + r * stride;
        for (int c = 0; c < 8; c++) in[c] = row[c];
        idct8(in, sums, int64_t(1) << (kShift - 1));
        for (int c = 0; c < 8; c++) {
            const int64_t v = (sums[c] >> kShift) + 128;
            dst[c] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
}

void jpegIdctRowScalar(int16_t* blocks, int count, const uint16_t* quant, uint8_t* out, int stride)
{
    int16_t dequantized[64];
    for (int i = 0; i < count; i++) {
        int16_t* block = blocks + i * 64;
        if (quant) {
            for (int k = 0; k < 64; k++) dequantized[k] = int16_t(uint16_t(uint32_t(uint16_t(block[k])) * quant[k]));
            jpegIdctScalar(dequantized, out + i * 8, stride);
        } else {
            jpegIdctScalar(block, out + i * 8, stride);
        }
        std::memset(block, 0, 64 * sizeof(int16_t));
    }
}
