#include "effects/music_dsp.h"

#include <cmath>

sMusicDspLines gMusicDspLines;

namespace {
int16_t clamp16(int v) { return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }
} // namespace

void flangeBlock(sFlangeState& state, sMusicDspLines& lines, int16_t* s, uint32_t length)
{
    const int n = sMusicDspLines::kFlangeFrames;
    int w = state.writePosition;
    float v = state.sweep.load(std::memory_order_relaxed);
    if (!(std::fabs(v) <= sFlangeState::kMaxSweep))
        v = v > 0 ? sFlangeState::kMaxSweep : v < 0 ? -sFlangeState::kMaxSweep : 0.0f;
    float& position = lines.flangePosition;
    if (!(position >= -n && position <= 2 * n)) position = n / 2.0f;
    for (uint32_t frame = 0; frame < length / 4; ++frame, s += 2) {
        const int whole = static_cast<int>(position);
        const int k = ((whole + w) % n + n) % n;
        const int k1 = (k + 1) % n;
        const float f = std::fmod(position, 1.0f);
        for (int c = 0; c < 2; ++c) {
            const int input = s[c];
            const int delayed = static_cast<int>((1.0f - f) * lines.flange[k][c] + f * lines.flange[k1][c]);
            lines.flange[w][c] = static_cast<int16_t>(input);
            s[c] = clamp16(delayed + input);
        }
        w = (w + 1) % n;
        position += v;
        if (position < 0 || position > n) v = -v;
    }
    state.writePosition = w;
    // The sweep direction persists; a speed set meanwhile by the main thread
    // keeps its new size with the current direction.
    float expected = state.sweep.load(std::memory_order_relaxed);
    const float magnitude = std::fabs(expected);
    state.sweep.compare_exchange_strong(expected, v < 0 ? -magnitude : magnitude);
}

void echoBlock(sEchoState& state, sMusicDspLines& lines, int16_t* s, uint32_t length)
{
    int i = state.index;
    for (uint32_t frame = 0; frame < length / 4; ++frame, s += 2) {
        const int left = s[0] + lines.echo[i][1] / 2;
        const int right = s[1] + lines.echo[i][0] / 2;
        s[0] = lines.echo[i][0] = clamp16(left);
        s[1] = lines.echo[i][1] = clamp16(right);
        i = (i + 1) % sMusicDspLines::kEchoFrames;
    }
    state.index = i;
}

void rotateBlock(sRotateState& state, int16_t* s, uint32_t length)
{
    float a = state.angle;
    for (uint32_t frame = 0; frame < length / 4; ++frame, s += 2) {
        s[0] = static_cast<int16_t>(std::fabs(std::sin(a)) * s[0]);
        s[1] = static_cast<int16_t>(std::fabs(std::cos(a)) * s[1]);
        a = std::fmod(a + 0.00003f, 3.1415927f);
    }
    state.angle = a;
}
