#include "spectrum.h"

#include <cmath>
#include <mutex>
#include <vector>

namespace kxaudio {

namespace {

constexpr double kPi = 3.14159265358979323846;

// What a spectrum of one size needs besides its data, N = 1 << bits real
// samples packed as M = N / 2 complex ones.
struct tTables {
    std::vector<float> window;             // N: Hann
    std::vector<float> cosine, sine;       // M / 2: e^(-2 pi i j / M), the FFT's twiddles
    std::vector<float> splitCos, splitSin; // M: e^(-2 pi i k / N), for splitting the packed result
    std::vector<uint32_t> reversed;        // M: bit-reversed indices
};

void build(tTables& t, unsigned bits)
{
    const size_t n = size_t(1) << bits;
    const size_t m = n / 2;
    t.window.resize(n);
    for (size_t i = 0; i < n; ++i) {
        t.window[i] = float(0.5 * (1.0 - std::cos(2.0 * kPi * double(i) / double(n))));
    }
    t.cosine.resize(m / 2);
    t.sine.resize(m / 2);
    for (size_t j = 0; j < m / 2; ++j) {
        t.cosine[j] = float(std::cos(2.0 * kPi * double(j) / double(m)));
        t.sine[j] = float(-std::sin(2.0 * kPi * double(j) / double(m)));
    }
    t.splitCos.resize(m);
    t.splitSin.resize(m);
    for (size_t k = 0; k < m; ++k) {
        t.splitCos[k] = float(std::cos(2.0 * kPi * double(k) / double(n)));
        t.splitSin[k] = float(-std::sin(2.0 * kPi * double(k) / double(n)));
    }
    t.reversed.resize(m);
    const unsigned mBits = bits - 1;
    for (size_t k = 0; k < m; ++k) {
        uint32_t r = 0;
        for (unsigned b = 0; b < mBits; ++b) {
            r |= uint32_t((k >> b) & 1u) << (mBits - 1 - b);
        }
        t.reversed[k] = r;
    }
}

// Built on first use, once per size, whichever thread asks first.
const tTables& tablesFor(unsigned bits)
{
    constexpr unsigned kSizes = kMaxSpectrumBits - kMinSpectrumBits + 1;
    static std::once_flag once[kSizes];
    static tTables tables[kSizes];
    const unsigned i = bits - kMinSpectrumBits;
    std::call_once(once[i], [&] { build(tables[i], bits); });
    return tables[i];
}

} // namespace

void magnitudeSpectrum(const int16_t* stereo, unsigned bits, float* out)
{
    const tTables& t = tablesFor(bits);
    const size_t n = size_t(1) << bits;
    const size_t m = n / 2;
    std::vector<float> re(m);
    std::vector<float> im(m);

    // Mono, windowed, sample 2k as the real and 2k + 1 as the imaginary part
    // of complex sample k, in bit-reversed order for the FFT in place.
    for (size_t k = 0; k < m; ++k) {
        const int16_t* f = stereo + 4 * k;
        re[t.reversed[k]] = float(int(f[0]) + int(f[1])) * 0.5f * t.window[2 * k];
        im[t.reversed[k]] = float(int(f[2]) + int(f[3])) * 0.5f * t.window[2 * k + 1];
    }

    for (size_t length = 2; length <= m; length <<= 1) {
        const size_t half = length / 2;
        const size_t stride = m / length;
        for (size_t start = 0; start < m; start += length) {
            for (size_t j = 0; j < half; ++j) {
                const float wr = t.cosine[j * stride];
                const float wi = t.sine[j * stride];
                const size_t p = start + j;
                const size_t q = p + half;
                const float vr = re[q] * wr - im[q] * wi;
                const float vi = re[q] * wi + im[q] * wr;
                re[q] = re[p] - vr;
                im[q] = im[p] - vi;
                re[p] += vr;
                im[p] += vi;
            }
        }
    }

    // Z = E + iO, with E and O the spectra of the even and odd samples;
    // from Z[k] and Z[M - k]: E[k] = (Z[k] + conj Z[M - k]) / 2,
    // O[k] = (Z[k] - conj Z[M - k]) / 2i, and X[k] = E[k] + e^(-2 pi i k / N) O[k].
    // A sine of amplitude A at a bin's centre gives A N / 4 there under the
    // Hann window (whose sum is N / 2); 1.0 is full scale, 32768.
    const float scale = 4.0f / (float(n) * 32768.0f);
    for (size_t k = 0; k < m; ++k) {
        const size_t c = (m - k) & (m - 1);
        const float er = 0.5f * (re[k] + re[c]);
        const float ei = 0.5f * (im[k] - im[c]);
        const float orr = 0.5f * (im[k] + im[c]);
        const float oi = -0.5f * (re[k] - re[c]);
        const float xr = er + orr * t.splitCos[k] - oi * t.splitSin[k];
        const float xi = ei + orr * t.splitSin[k] + oi * t.splitCos[k];
        out[k] = std::sqrt(xr * xr + xi * xi) * scale;
    }
}

} // namespace kxaudio
