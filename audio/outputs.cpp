#include "outputs.h"

#include "bass.h"

#if KXAUDIO_SDL_OUTPUT
#include <SDL.h>
#endif

#include <chrono>
#include <string>
#include <vector>

namespace kxaudio {

namespace {
// About 23 ms at 44.1 kHz: short enough for DSPs and channel data to follow
// the music closely, long enough not to starve on a busy machine.
constexpr int kDeviceBufferFrames = 1024;
} // namespace

#if KXAUDIO_SDL_OUTPUT

std::unique_ptr<cSdlOutput> cSdlOutput::open(cMixer& mixer, int device, DWORD rate, int& error)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        error = BASS_ERROR_DRIVER;
        return nullptr;
    }
    std::string name;
    if (device >= 1) {
        const int count = SDL_GetNumAudioDevices(0);
        const char* found = device <= count ? SDL_GetAudioDeviceName(device - 1, 0) : nullptr;
        if (!found) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            error = BASS_ERROR_DEVICE;
            return nullptr;
        }
        name = found; // SDL's copy may go away on the next enumeration
    }

    SDL_AudioSpec want{};
    want.freq = int(rate);
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = kDeviceBufferFrames;
    want.callback = &cSdlOutput::callback;
    want.userdata = &mixer;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware wants, so the
    // mixer always works at the rate and layout the caller asked for.
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(name.empty() ? nullptr : name.c_str(), 0, &want, &have, 0);
    if (id == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        error = BASS_ERROR_DRIVER;
        return nullptr;
    }
    return std::unique_ptr<cSdlOutput>(new cSdlOutput(id));
}

cSdlOutput::~cSdlOutput()
{
    SDL_CloseAudioDevice(id_); // waits for the callback to return
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void cSdlOutput::start() { SDL_PauseAudioDevice(id_, 0); }

void cSdlOutput::stop()
{
    SDL_PauseAudioDevice(id_, 1); // takes the device lock: no callback after this
}

void cSdlOutput::callback(void* user, uint8_t* stream, int length)
{
    if (length > 0) {
        static_cast<cMixer*>(user)->mix(stream, DWORD(length) / 4);
    }
}

#else

// Built without SDL: the system's output devices cannot be opened; the null
// device and offline mixing still work.
std::unique_ptr<cSdlOutput> cSdlOutput::open(cMixer&, int, DWORD, int& error)
{
    error = BASS_ERROR_DRIVER;
    return nullptr;
}

cSdlOutput::~cSdlOutput() = default;
void cSdlOutput::start() { }
void cSdlOutput::stop() { }
void cSdlOutput::callback(void*, uint8_t*, int) { }

#endif

cNullOutput::cNullOutput(cMixer& mixer, DWORD rate) : mixer_(mixer), rate_(rate)
{
    thread_ = std::thread(&cNullOutput::run, this);
}

cNullOutput::~cNullOutput()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void cNullOutput::start()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        started_ = true;
    }
    wake_.notify_all();
}

void cNullOutput::stop()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        started_ = false;
    }
    wake_.notify_all();
}

void cNullOutput::run()
{
    using clock = std::chrono::steady_clock;
    const DWORD blockFrames = cMixer::kBlockFrames;
    const auto blockTime =
        std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(double(blockFrames) / double(rate_)));
    // After a stall longer than this the schedule restarts from now instead
    // of catching up in a burst.
    const auto maxLag = blockTime * 4;
    std::vector<int16_t> block(size_t(blockFrames) * 2);

    std::unique_lock<std::mutex> lock(mutex_);
    auto due = clock::now();
    while (!quit_) {
        if (!started_) {
            wake_.wait(lock, [this] { return quit_ || started_; });
            due = clock::now();
            continue;
        }
        mixer_.mix(block.data(), blockFrames);
        due += blockTime;
        const auto now = clock::now();
        if (now - due > maxLag) {
            due = now;
        }
        wake_.wait_until(lock, due, [this] { return quit_ || !started_; });
    }
}

} // namespace kxaudio
