// Offline mixing speed of the audio engine: a 4-channel module with three
// DSP procedures attached (a swept flange, a cross-fed echo and a left-right
// rotation), mixed in offline mode as a show capture does. Prints the
// real-time factor: seconds of audio mixed per second of CPU time of the
// mixing thread (one core). Mixes 120 s of audio by default, or the first
// argument in seconds.
#include "bench/audio_bench_song.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

using namespace kxbench;

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 120.0;
    if (!(seconds > 0)) {
        std::printf("usage: kx_audio_mix_bench [seconds of audio]\n");
        return 2;
    }
    tPlayingSong song;
    if (!startSong(song, kRate)) return 1;
    const HMUSIC music = song.music;

    // As a capture does: one video frame's worth of audio at a time (30 fps).
    const DWORD chunk = kRate / 30;
    std::vector<int16_t> buffer(size_t(chunk) * 2);
    const double total = seconds * kRate;
    int16_t channelData[1000];
    long long peak = 0;
    double mixed = 0;
    const double start = threadCpuSeconds();
    while (mixed < total) {
        mixed += BASS_MixOffline(buffer.data(), chunk);
        BASS_ChannelGetData(music, channelData, sizeof channelData); // as the waveform does
        peak = std::max<long long>(peak, std::abs(int(channelData[0])));
    }
    const double cpu = threadCpuSeconds() - start;
    const double audio = mixed / kRate;
    std::printf("mixed %.1f s of audio in %.3f s of CPU: %.0fx real time (peak %lld)\n", audio, cpu, audio / cpu, peak);
    BASS_Free();
    if (peak == 0) return 1;

    // The real-time mixer while a show plays: the same tune and DSPs on the
    // null device for a few seconds; the process does nothing else, so its
    // CPU time is the mixing thread's.
    const double realSeconds = std::min(seconds, 5.0);
    tPlayingSong live;
    if (!startSong(live, kRate, false)) return 1;
    timespec wallStart{}, wallEnd{}, cpuStart{}, cpuEnd{};
    clock_gettime(CLOCK_MONOTONIC, &wallStart);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
    const timespec nap{0, 50 * 1000 * 1000};
    for (int i = 0; i < int(realSeconds * 20); ++i) nanosleep(&nap, nullptr);
    clock_gettime(CLOCK_MONOTONIC, &wallEnd);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
    const auto secondsOf = [](const timespec& a, const timespec& b) {
        return double(b.tv_sec - a.tv_sec) + double(b.tv_nsec - a.tv_nsec) * 1e-9;
    };
    const double share = secondsOf(cpuStart, cpuEnd) / secondsOf(wallStart, wallEnd);
    std::printf("real-time mixer while playing: %.2f%% of one core\n", 100.0 * share);
    BASS_Free();
    return 0;
}
