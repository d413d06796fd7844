// The device output on systems with SDL: an SDL audio device whose callback
// runs the mixer.

#include "bass.h"
#include "outputs.h"

#include <SDL.h>

#include <string>

namespace kxaudio {

namespace {

// About 23 ms at 44.1 kHz: short enough for DSPs and channel data to follow
// the music closely, long enough not to starve on a busy machine.
constexpr int kDeviceBufferFrames = 1024;

class cSdlOutput : public cOutput {
public:
    explicit cSdlOutput(SDL_AudioDeviceID id) : id_(id) { }
    ~cSdlOutput() override;
    void start() override;
    void stop() override;

    static void callback(void* user, uint8_t* stream, int length);

private:
    SDL_AudioDeviceID id_;
};

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

} // namespace

std::unique_ptr<cOutput> openDeviceOutput(cMixer& mixer, int device, DWORD rate, int& error)
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
    return std::make_unique<cSdlOutput>(id);
}

} // namespace kxaudio
