// The magnitude spectrum of a run of 16-bit stereo frames, for
// BASS_ChannelGetData's FFT requests.
//
// A real FFT of our own: radix 2, the N real samples packed as N/2 complex
// ones and split afterwards, with the window and twiddle factors computed
// once per size. No FFT library is packaged for both Linux and the MinGW
// cross-build, and sizes up to 8192 need nothing more.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kxaudio {

// The sizes a spectrum may have: 256 << 0 ... 256 << 5 (8192) frames.
constexpr unsigned kMinSpectrumBits = 8;
constexpr unsigned kMaxSpectrumBits = 13;

// Writes the magnitudes of bins 0 ... frames / 2 - 1 of `stereo`, `frames`
// interleaved frames (1 << bits, bits in kMinSpectrumBits ...
// kMaxSpectrumBits), left and right averaged, under a Hann window, into
// `out`. Scaled so that a full-scale sine whose frequency is the centre of
// a bin gives 1.0 in that bin (a sine between two bins gives down to 0.85
// in each). Safe to call from several threads at once.
void magnitudeSpectrum(const int16_t* stereo, unsigned bits, float* out);

} // namespace kxaudio
