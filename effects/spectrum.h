// The music as a texture for shaders: what the audio engine is playing
// (the whole mix, whichever effect plays it) read once a frame as a
// spectrum and a waveform, and kept in a 256 x 2 luminance texture.
//
// Row 0 (t = 0.25) holds 256 bands, logarithmically spaced from 43 Hz
// (band 0) to 22 kHz (band 255): band b covers the FFT bins around
// 512^(b / 256), bin k lying at k x 44100 / 1024 Hz. A band's level is its
// loudest bin in decibels, -60 dB to 0 dB mapped to 0 to 1, so a
// full-scale sine reads 1.0 in its band. Levels rise at once and fall by
// at most kFallPerSecond.
//
// Row 1 (t = 0.75) holds the newest 1024 frames of the mix, left and right
// averaged, four frames to a texel, oldest on the left: 0.5 is silence,
// 0 and 1 full scale.
#pragma once

class cSpectrum {
public:
    enum : int {
        kWidth = 256,
        kHeight = 2,
        kFftSize = 1024,
        kBins = kFftSize / 2,
        kWaveFrames = 1024,
        kFramesPerTexel = kWaveFrames / kWidth,
    };
    static constexpr float kFloorDb = -60.0f;
    static constexpr float kFallPerSecond = 2.0f;

    cSpectrum();
    ~cSpectrum(); // the GL texture must already be gone (release())

    cSpectrum(const cSpectrum&) = delete;
    cSpectrum& operator=(const cSpectrum&) = delete;

    // Reads the mix from the audio engine and updates the levels and the
    // waveform; `seconds` of show time passed since the last call. Silence
    // (zeros) when nothing plays or the engine is not running.
    void capture(float seconds);
    // The band levels of one FFT (kBins magnitudes, 1.0 full scale) into
    // `levels` (kWidth values, 0 to 1), without smoothing.
    void bandLevels(const float* magnitudes, float* levels) const;
    // Takes new band levels: each smoothed band rises to its new level at
    // once and otherwise falls by kFallPerSecond x seconds, not below it.
    void smooth(const float* levels, float seconds);
    // Row 1 from kWaveFrames interleaved 16-bit stereo frames.
    void takeWaveform(const short* frames);

    // Makes the GL texture on first use and uploads both rows. Needs a
    // current context.
    void upload();
    // Deletes the GL texture.
    void release();

    unsigned texture = 0;                   // GL name, 0 until upload()
    float bands[kWidth] = {};               // smoothed levels, 0 to 1
    unsigned char pixels[kWidth * kHeight]; // row 0 the bands, row 1 the waveform

private:
    // First bin of each band, and the end of the last: band b takes bins
    // firstBin[b] .. max(firstBin[b + 1], firstBin[b] + 1) - 1.
    int firstBin_[kWidth + 1];
};
