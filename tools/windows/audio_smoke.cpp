// audio_smoke: plays files through kxaudio.dll on the default output device
// for a second and checks that sound came out of every channel.
//
//   audio_smoke [--at OFFSET FILE] MODULE SOUND...
//
// MODULE is a tracker module (kx_module_writer writes one), each SOUND a file
// for BASS_StreamCreateFile (.wav, .ogg, ...); the first SOUND is also loaded
// as a sample. --at plays one more stream: a sound file that starts OFFSET
// bytes into FILE (a FILE beyond 2 GiB checks 64-bit file positions). When the default device does not open (no sound server) the
// null device takes over, as in the player, and the data must flow just the
// same. Prints what it did and "audio_smoke: passed", or why it failed, with
// exit status 1. Links kxaudio and winmm (for naming the devices).
#include "audio/bass.h"
#include "audio/testtone.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mmsystem.h>
#include <string>
#include <thread>
#include <vector>

namespace {

struct tChannel {
    std::string what;
    DWORD handle;
    BOOL (*free)(DWORD);
    int peak = 0;
};

[[noreturn]] void failed(const std::string& what)
{
    std::printf("audio_smoke: FAILED: %s (error %d)\n", what.c_str(), BASS_ErrorGetCode());
    std::exit(1);
}

void check(bool ok, const std::string& what)
{
    if (!ok) failed(what);
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The largest sample magnitude in the channel's latest output.
int latestPeak(DWORD handle)
{
    std::vector<int16_t> data(4096 * 2);
    const DWORD got = BASS_ChannelGetData(handle, data.data(), DWORD(data.size() * 2));
    check(got == data.size() * 2, "BASS_ChannelGetData");
    int peak = 0;
    for (int16_t s : data) peak = std::max(peak, std::abs(int(s)));
    return peak;
}

} // namespace

int main(int argc, char** argv)
{
    int first = 1;
    const char* atFile = nullptr;
    QWORD atOffset = 0;
    if (argc > 3 && std::string(argv[1]) == "--at") {
        atOffset = std::strtoull(argv[2], nullptr, 10);
        atFile = argv[3];
        first = 4;
    }
    if (argc - first < 2) {
        std::fprintf(stderr, "usage: audio_smoke [--at OFFSET FILE] MODULE SOUND...\n");
        return 2;
    }
    const char* module = argv[first];
    const std::vector<const char*> sounds(argv + first + 1, argv + argc);

    WAVEOUTCAPSA caps{};
    const UINT devices = waveOutGetNumDevs();
    const bool named = devices > 0 && waveOutGetDevCapsA(0, &caps, sizeof(caps)) == MMSYSERR_NOERROR;
    std::printf("waveOut devices: %u, the first: %s\n", devices, named ? caps.szPname : "(none)");

    if (BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
        std::printf("output: the default waveOut device\n");
    } else {
        std::printf("output: default device failed (error %d), the null device takes over\n", BASS_ErrorGetCode());
        check(BASS_Init(-2, 44100, 0, nullptr, nullptr), "BASS_Init(-2)");
    }

    std::vector<tChannel> channels;
    const HMUSIC music = BASS_MusicLoad(FALSE, module, 0, 0, 0, 0);
    check(music != 0, std::string("BASS_MusicLoad ") + module);
    check(BASS_MusicPlay(music), "BASS_MusicPlay");
    channels.push_back({std::string("music ") + module, music, &BASS_MusicFree});
    const auto playStream = [&](const char* file, QWORD offset) {
        const std::string what = std::string("stream ") + file + (offset ? " at " + std::to_string(offset) : "");
        const HSTREAM stream = BASS_StreamCreateFile(FALSE, file, offset, 0, BASS_SAMPLE_LOOP);
        check(stream != 0, "BASS_StreamCreateFile: " + what);
        check(BASS_StreamPlay(stream, TRUE, 0), "BASS_StreamPlay: " + what);
        channels.push_back({what, stream, &BASS_StreamFree});
    };
    for (const char* sound : sounds) playStream(sound, 0);
    if (atFile) playStream(atFile, atOffset);
    const HSAMPLE sample = BASS_SampleLoad(FALSE, sounds[0], 0, 0, 4, BASS_SAMPLE_LOOP);
    check(sample != 0, std::string("BASS_SampleLoad ") + sounds[0]);
    check(BASS_SamplePlay(sample) == sample, "BASS_SamplePlay");
    channels.push_back({std::string("sample ") + sounds[0], sample, &BASS_SampleFree});

    // A second of playing, looking at every channel's output ten times: a
    // tune may rest at any one moment.
    const unsigned long long start = KXAUDIO_MixedFrames();
    for (int step = 0; step < 10; ++step) {
        sleepMs(100);
        for (tChannel& channel : channels) channel.peak = std::max(channel.peak, latestPeak(channel.handle));
    }
    std::printf("frames mixed in about a second: %llu\n", KXAUDIO_MixedFrames() - start);
    for (const tChannel& channel : channels) {
        std::printf("%s: peak %d\n", channel.what.c_str(), channel.peak);
        check(channel.peak > 100, channel.what + " is silent");
    }

    // Stopped, the mixer is not called; started again, it carries on.
    check(BASS_Stop(), "BASS_Stop");
    const unsigned long long stopped = KXAUDIO_MixedFrames();
    sleepMs(200);
    check(KXAUDIO_MixedFrames() == stopped, "mixing went on after BASS_Stop");
    check(BASS_Start(), "BASS_Start");
    sleepMs(200);
    check(KXAUDIO_MixedFrames() > stopped, "mixing did not resume after BASS_Start");

    for (const tChannel& channel : channels) check(channel.free(channel.handle), "freeing the " + channel.what);
    // Closing a stopped output hands back the buffers it still holds.
    check(BASS_Stop(), "BASS_Stop");
    check(BASS_Free(), "BASS_Free");

    // Devices 1 ... n are the system's own; a number beyond is refused.
    check(!BASS_Init(int(devices) + 1, 44100, 0, nullptr, nullptr) && BASS_ErrorGetCode() == BASS_ERROR_DEVICE,
          "BASS_Init(n + 1) did not fail with BASS_ERROR_DEVICE");
    if (devices > 0) {
        check(BASS_Init(1, 22050, 0, nullptr, nullptr), "BASS_Init(1)");
        check(BASS_Free(), "BASS_Free");
    }
    std::printf("audio_smoke: passed\n");
    return 0;
}
