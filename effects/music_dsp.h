// The three sound effects the music effect can insert into a channel:
// a sweeping flange, a cross-feed (ping-pong) echo and a left-right
// rotation. They run on the audio mixing thread on 16-bit stereo blocks.
#pragma once

#include <atomic>
#include <cstdint>

// Delay lines shared by every music effect of the library, as the mixing
// thread is the only one that touches them.
struct sMusicDspLines {
    static constexpr int kFlangeFrames = 350;
    static constexpr int kEchoFrames = 1200;
    int16_t flange[kFlangeFrames][2] = {};
    float flangePosition = 175.0f;
    int16_t echo[kEchoFrames][2] = {};
};
extern sMusicDspLines gMusicDspLines;

// The state one DSP keeps between blocks. The main thread may set the sweep
// speed while the mixer runs, so it is atomic; the rest belongs to the mixer.
// The sweep speed is how far the flange's delay moves, in frames of the
// delay line, per frame played.
struct sFlangeState {
    // The fastest sweep: across the whole delay line in one frame. Beyond it
    // a sweep only overshoots the line's ends further, and a speed without
    // bound would carry the shared delay position to infinity.
    static constexpr float kMaxSweep = float(sMusicDspLines::kFlangeFrames);

    int writePosition = 0;
    std::atomic<float> sweep{0.0005f};
};
struct sEchoState {
    int index = 0;
};
struct sRotateState {
    float angle = 0.0f;
};

// Each processes `length` bytes of interleaved 16-bit stereo in place; a
// trailing partial frame is left alone. The flange keeps the shared delay
// position finite whatever its state holds: a sweep that is not a number
// stands still, one faster than kMaxSweep goes at kMaxSweep, and a position
// found outside -350 ... 700 (its reach with such sweeps) starts again at
// 175.
void flangeBlock(sFlangeState& state, sMusicDspLines& lines, int16_t* samples, uint32_t length);
void echoBlock(sEchoState& state, sMusicDspLines& lines, int16_t* samples, uint32_t length);
void rotateBlock(sRotateState& state, int16_t* samples, uint32_t length);
