// Where the mix goes: an SDL output device, or the null device.
#pragma once

#include "mixer.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace kxaudio {

class cOutput {
public:
    // Closes the output; the mixer is not called any more once it returns.
    virtual ~cOutput() = default;
    virtual void start() = 0;
    // Pauses the output; the mixer is not called once it returns.
    virtual void stop() = 0;
};

// An SDL output device whose audio callback runs the mixer.
class cSdlOutput : public cOutput {
public:
    // Opens the default device (device -1) or device number `device` - 1
    // (device >= 1), paused, at `rate` frames per second, 16-bit stereo.
    // On failure returns null and sets `error` to a BASS_ERROR_ code.
    static std::unique_ptr<cSdlOutput> open(cMixer& mixer, int device, DWORD rate, int& error);
    ~cSdlOutput() override;
    void start() override;
    void stop() override;

private:
    explicit cSdlOutput(uint32_t id) : id_(id) { }
    static void callback(void* user, uint8_t* stream, int length);

    uint32_t id_; // SDL_AudioDeviceID
};

// No sound: a thread of its own mixes one block at a time at the real-time
// rate and discards the result, sleeping between blocks, so that everything
// fed by the mixer behaves as with a real device.
class cNullOutput : public cOutput {
public:
    cNullOutput(cMixer& mixer, DWORD rate);
    ~cNullOutput() override;
    void start() override;
    void stop() override;

private:
    void run();

    cMixer& mixer_;
    const DWORD rate_;
    // Held by the thread while it mixes a block, so stop() returns only
    // after the block under way is done.
    std::mutex mutex_;
    std::condition_variable wake_;
    bool started_ = false; // under mutex_
    bool quit_ = false;    // under mutex_
    std::thread thread_;
};

} // namespace kxaudio
