// Cost of a frame's spectrum: BASS_ChannelGetData with BASS_DATA_FFT1024 and
// BASS_DATA_FFT2048 on KXAUDIO_MIX, as a shader showing the music asks once
// a frame, against mixing one frame's worth of audio (a 14 ms block) of the
// benchmark song with its three DSPs, measured in the same run. Prints the
// CPU time of each in microseconds and the ratio; the spectrum should stay
// under 0.2 ms. Repeats each 2000 times by default, or the first argument.
#include "bench/audio_bench_song.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace kxbench;

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
    if (rounds <= 0) {
        std::printf("usage: kx_audio_spectrum_bench [rounds]\n");
        return 2;
    }
    tPlayingSong song;
    if (!startSong(song, kRate)) return 1;

    // The reference: one frame's audio, 14 ms.
    const DWORD block = kRate * 14 / 1000;
    std::vector<int16_t> buffer(size_t(block) * 2);
    for (int i = 0; i < 100; ++i) {
        BASS_MixOffline(buffer.data(), block); // into the song
    }
    double start = threadCpuSeconds();
    for (int i = 0; i < rounds; ++i) {
        BASS_MixOffline(buffer.data(), block);
    }
    const double mixMicros = (threadCpuSeconds() - start) * 1e6 / rounds;
    std::printf("mixing a 14 ms block (%u frames): %.1f us\n", unsigned(block), mixMicros);

    std::vector<float> bins(4096);
    int status = 0;
    struct {
        const char* name;
        DWORD flag;
    } const sizes[] = {{"FFT1024", BASS_DATA_FFT1024}, {"FFT2048", BASS_DATA_FFT2048}, {"FFT8192", BASS_DATA_FFT8192}};
    for (const auto& size : sizes) {
        float peak = 0;
        start = threadCpuSeconds();
        for (int i = 0; i < rounds; ++i) {
            if (BASS_ChannelGetData(KXAUDIO_MIX, bins.data(), size.flag) == DWORD(-1)) {
                std::printf("BASS_ChannelGetData failed: %d\n", BASS_ErrorGetCode());
                return 1;
            }
            peak = std::max(peak, bins[10]);
        }
        const double micros = (threadCpuSeconds() - start) * 1e6 / rounds;
        std::printf("spectrum %s of the mix: %.1f us, %.2fx the block's mixing, %s the 200 us goal (bin 10: %.3f)\n",
                    size.name, micros, micros / mixMicros, micros < 200 ? "within" : "OVER", double(peak));
        if (micros >= 200 && size.flag != BASS_DATA_FFT8192) {
            status = 1;
        }
    }
    BASS_Free();
    return status;
}
