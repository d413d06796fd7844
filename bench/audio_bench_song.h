// The song the audio benchmarks mix: a 4-channel module with the three DSP
// procedures of the music effect (a swept flange, a cross-fed echo and a
// left-right rotation), and the CPU clock of the calling thread.
#pragma once

#include "audio/bass.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace kxbench {

constexpr DWORD kRate = 44100;

// Four patterns of 64 rows, a note on every channel on every other row, with
// vibrato, slides and volume changes so libopenmpt does the work of a real
// song; two looped samples (a square and a saw wave).
inline std::vector<unsigned char> makeModule()
{
    constexpr int kPatterns = 4;
    constexpr int kSampleBytes = 64;
    std::vector<unsigned char> m(1084 + kPatterns * 1024 + 2 * kSampleBytes, 0);
    std::memcpy(&m[0], "bench tune", 10);
    for (int i = 0; i < 31; ++i) {
        unsigned char* s = &m[20 + i * 30];
        s[29] = 1;
        if (i < 2) {
            s[23] = kSampleBytes / 2;
            s[25] = 48;
            s[29] = kSampleBytes / 2;
        }
    }
    m[950] = kPatterns;
    m[951] = 127;
    for (int p = 0; p < kPatterns; ++p) {
        m[952 + p] = static_cast<unsigned char>(p);
    }
    std::memcpy(&m[1080], "M.K.", 4);
    const int periods[] = {856, 762, 678, 640, 570, 508, 453, 428, 381, 339, 302, 285, 254, 226, 214};
    const int effects[][2] = {{0x4, 0x37}, {0x1, 0x02}, {0x2, 0x02}, {0xA, 0x01}, {0x0, 0x37}, {0xC, 0x20}};
    for (int p = 0; p < kPatterns; ++p) {
        for (int row = 0; row < 64; ++row) {
            for (int ch = 0; ch < 4; ++ch) {
                unsigned char* c = &m[1084 + p * 1024 + (row * 4 + ch) * 4];
                const int* effect = effects[(row + ch + p) % 6];
                if ((row + ch) % 2 == 0) {
                    const int period = periods[(row * 3 + ch * 5 + p * 7) % 15];
                    const int sample = 1 + (ch + row / 8) % 2;
                    c[0] = static_cast<unsigned char>(period >> 8);
                    c[1] = static_cast<unsigned char>(period & 0xFF);
                    c[2] = static_cast<unsigned char>(sample << 4);
                }
                c[2] = static_cast<unsigned char>(c[2] | effect[0]);
                c[3] = static_cast<unsigned char>(effect[1]);
            }
        }
    }
    unsigned char* data = &m[1084 + kPatterns * 1024];
    for (int i = 0; i < kSampleBytes; ++i) {
        data[i] = static_cast<unsigned char>(i < kSampleBytes / 2 ? 90 : -90);
        data[kSampleBytes + i] = static_cast<unsigned char>(i * 4 - 128);
    }
    return m;
}

inline int16_t clamp16(int v) { return int16_t(std::clamp(v, -32768, 32767)); }

// A swept flange: the dry signal plus the signal of a few hundred frames
// ago, read between two frames of a delay line whose distance sweeps.
struct tFlange {
    static constexpr int kLine = 350;
    int16_t line[kLine][2] = {};
    int write = 0;
    float delay = 175.0f;
    float speed = 0.0005f;
};

inline void CALLBACK flangeDsp(HDSP, DWORD, void* buffer, DWORD length, void* user)
{
    auto* f = static_cast<tFlange*>(user);
    auto* s = static_cast<int16_t*>(buffer);
    for (DWORD i = 0; i < length / 4; ++i, s += 2) {
        const int whole = int(f->delay);
        const float frac = f->delay - float(whole);
        const int k = (whole + f->write) % tFlange::kLine;
        const int k1 = (k + 1) % tFlange::kLine;
        for (int c = 0; c < 2; ++c) {
            const int wet = int((1 - frac) * f->line[k][c] + frac * f->line[k1][c]);
            f->line[f->write][c] = s[c];
            s[c] = clamp16(wet + s[c]);
        }
        f->write = (f->write + 1) % tFlange::kLine;
        f->delay += f->speed;
        if (f->delay < 0 || f->delay > tFlange::kLine) {
            f->speed = -f->speed;
        }
    }
}

// A ping-pong echo: each side gets the other side of 1200 frames ago at half
// strength.
struct tEcho {
    static constexpr int kLine = 1200;
    int16_t line[kLine][2] = {};
    int at = 0;
};

inline void CALLBACK echoDsp(HDSP, DWORD, void* buffer, DWORD length, void* user)
{
    auto* e = static_cast<tEcho*>(user);
    auto* s = static_cast<int16_t*>(buffer);
    for (DWORD i = 0; i < length / 4; ++i, s += 2) {
        const int16_t left = clamp16(s[0] + e->line[e->at][1] / 2);
        const int16_t right = clamp16(s[1] + e->line[e->at][0] / 2);
        s[0] = e->line[e->at][0] = left;
        s[1] = e->line[e->at][1] = right;
        e->at = (e->at + 1) % tEcho::kLine;
    }
}

// A slow pan from side to side.
struct tRotate {
    float angle = 0.0f;
};

inline void CALLBACK rotateDsp(HDSP, DWORD, void* buffer, DWORD length, void* user)
{
    auto* r = static_cast<tRotate*>(user);
    auto* s = static_cast<int16_t*>(buffer);
    for (DWORD i = 0; i < length / 4; ++i, s += 2) {
        s[0] = int16_t(std::fabs(std::sin(r->angle)) * s[0]);
        s[1] = int16_t(std::fabs(std::cos(r->angle)) * s[1]);
        r->angle = std::fmod(r->angle + 0.00003f, 3.1415927f);
    }
}

inline double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The song playing with its three effects, as a show
// with the flange, echo and rotation on its music mixes it. The effects'
// state lives here, so the song must outlive the mixing.
struct tPlayingSong {
    tFlange flange;
    tEcho echo;
    tRotate rotate;
    HMUSIC music = 0;
};

// Starts the engine at `rate`, offline or on the null device (which mixes
// in real time on its own thread), and plays the song; false (with the
// reason printed) when the engine or the song cannot start.
inline bool startSong(tPlayingSong& song, DWORD rate, bool offline = true)
{
    if (!BASS_SetOffline(offline ? TRUE : FALSE) || !BASS_Init(offline ? -1 : -2, rate, 0, nullptr, nullptr)) {
        std::printf("BASS_Init%s failed: %d\n", offline ? "" : " of the null device", BASS_ErrorGetCode());
        return false;
    }
    const std::vector<unsigned char> module = makeModule();
    song.music = BASS_MusicLoad(TRUE, module.data(), 0, DWORD(module.size()), BASS_SAMPLE_LOOP, 0);
    if (!song.music) {
        std::printf("BASS_MusicLoad failed: %d\n", BASS_ErrorGetCode());
        return false;
    }
    BASS_ChannelSetDSP(song.music, &flangeDsp, &song.flange, 0);
    BASS_ChannelSetDSP(song.music, &echoDsp, &song.echo, 0);
    BASS_ChannelSetDSP(song.music, &rotateDsp, &song.rotate, 0);
    BASS_MusicPlay(song.music);
    return true;
}

} // namespace kxbench
