// Writes 16-bit PCM WAV files for the audio tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace kxtest {

// A 16-bit PCM WAV file of interleaved `samples`. `claimedBytes` (when
// nonzero) is written as the data chunk's length whatever the real length is.
inline std::vector<unsigned char> makeWav(const std::vector<int16_t>& samples, int channels, int rate,
                                          uint32_t claimedBytes = 0)
{
    const auto put32 = [](std::vector<unsigned char>& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + size_t(i)] = static_cast<unsigned char>(v >> (8 * i));
    };
    const uint32_t bytes = uint32_t(samples.size() * 2);
    std::vector<unsigned char> w(44 + bytes, 0);
    std::memcpy(&w[0], "RIFF", 4);
    put32(w, 4, 36 + (claimedBytes ? claimedBytes : bytes));
    std::memcpy(&w[8], "WAVEfmt ", 8);
    put32(w, 16, 16);
    w[20] = 1; // PCM
    w[22] = static_cast<unsigned char>(channels);
    put32(w, 24, uint32_t(rate));
    put32(w, 28, uint32_t(rate * channels * 2));
    w[32] = static_cast<unsigned char>(channels * 2);
    w[34] = 16;
    std::memcpy(&w[36], "data", 4);
    put32(w, 40, claimedBytes ? claimedBytes : bytes);
    if (bytes > 0) std::memcpy(&w[44], samples.data(), bytes);
    return w;
}

} // namespace kxtest
