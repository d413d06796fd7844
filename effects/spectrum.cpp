#include "effects/spectrum.h"

#include "audio/bass.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr GLint kClampToEdge = 0x812F; // OpenGL 1.2

// The mix's newest spectrum (kBins magnitudes) and waveform (kWaveFrames
// stereo frames); what the engine does not give (outside a session) stays
// zero.
void readMix(float* magnitudes, short* frames)
{
    static_assert(cSpectrum::kFftSize == 1024, "the FFT flag below reads 1024 frames");
    const DWORD spectrumBytes = DWORD(cSpectrum::kBins * sizeof(float));
    const DWORD waveBytes = DWORD(cSpectrum::kWaveFrames * 2 * sizeof(short));
    if (BASS_ChannelGetData(KXAUDIO_MIX, magnitudes, BASS_DATA_FFT1024) == DWORD(-1))
        std::memset(magnitudes, 0, spectrumBytes);
    const DWORD got = BASS_ChannelGetData(KXAUDIO_MIX, frames, waveBytes);
    if (got == DWORD(-1)) std::memset(frames, 0, waveBytes);
}

unsigned char toByte(float v)
{
    const float scaled = v * 255.0f + 0.5f;
    return static_cast<unsigned char>(scaled <= 0 ? 0 : (scaled >= 255 ? 255 : scaled));
}

} // namespace

cSpectrum::cSpectrum()
{
    // Band b starts at bin 512^(b / 256): bin 1 (43 Hz) for band 0, bin
    // 512 (the end) after band 255.
    for (int b = 0; b <= kWidth; ++b) {
        const double edge = std::pow(double(kBins), double(b) / kWidth);
        firstBin_[b] = std::min(int(kBins), std::max(1, int(std::floor(edge))));
    }
    std::memset(pixels, 0, kWidth);
    std::memset(pixels + kWidth, 128, kWidth);
}

cSpectrum::~cSpectrum() = default;

void cSpectrum::bandLevels(const float* magnitudes, float* levels) const
{
    for (int b = 0; b < kWidth; ++b) {
        const int first = firstBin_[b];
        const int end = std::min(int(kBins), std::max(firstBin_[b + 1], first + 1));
        float loudest = 0;
        for (int k = first; k < end; ++k)
            if (magnitudes[k] > loudest) loudest = magnitudes[k]; // a NaN is passed over
        const float db = loudest > 0 ? 20.0f * std::log10(loudest) : kFloorDb;
        levels[b] = std::min(1.0f, std::max(0.0f, 1.0f - db / kFloorDb));
    }
}

void cSpectrum::smooth(const float* levels, float seconds)
{
    const float fall = kFallPerSecond * std::max(0.0f, seconds);
    for (int b = 0; b < kWidth; ++b) {
        bands[b] = std::max(levels[b], bands[b] - fall);
        pixels[b] = toByte(bands[b]);
    }
}

void cSpectrum::takeWaveform(const short* frames)
{
    for (int x = 0; x < kWidth; ++x) {
        int sum = 0;
        for (int i = 0; i < kFramesPerTexel * 2; ++i) sum += frames[x * kFramesPerTexel * 2 + i];
        const float mean = float(sum) / float(kFramesPerTexel * 2 * 32768);
        pixels[kWidth + x] = toByte(0.5f + 0.5f * mean);
    }
}

void cSpectrum::capture(float seconds)
{
    float magnitudes[kBins] = {};
    short frames[kWaveFrames * 2] = {};
    readMix(magnitudes, frames);
    float levels[kWidth];
    bandLevels(magnitudes, levels);
    smooth(levels, seconds);
    takeWaveform(frames);
}

void cSpectrum::upload()
{
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (!texture) {
        glGenTextures(1, &texture);
        if (texture) {
            glBindTexture(GL_TEXTURE_2D, texture);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, kClampToEdge);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, kClampToEdge);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE8, kWidth, kHeight, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, pixels);
        }
    } else {
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWidth, kHeight, GL_LUMINANCE, GL_UNSIGNED_BYTE, pixels);
    }
    glPopClientAttrib();
}

void cSpectrum::release()
{
    if (texture) glDeleteTextures(1, &texture);
    texture = 0;
}
