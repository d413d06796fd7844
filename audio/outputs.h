// Where the mix goes: the system's output device, or the null device.
//
// The device output has one implementation per system, chosen by the build:
// output_sdl.cpp (an SDL audio device) or output_waveout.cpp (Windows'
// waveOut). The null device (output_null.cpp) is the same everywhere.
#pragma once

#include "mixer.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace kxaudio {

// Called by an output whose device stopped taking sound (engine.h).
void deviceLost(const char* why);

class cOutput {
public:
    // Closes the output; the mixer is not called any more once it returns.
    virtual ~cOutput() = default;
    virtual void start() = 0;
    // Pauses the output; the mixer is not called once it returns.
    virtual void stop() = 0;
    // Makes the device's next write fail as a lost device's does (tests).
    // An output without a device counts as lost at once.
    virtual void failNextWrite() { deviceLost("the device was made to fail"); }
    // Makes the device stop handing played sound back, as a hung device
    // does (tests). An output without a device counts as lost at once.
    virtual void stall() { deviceLost("the device was made to stall"); }
};

// Opens the system's default output device (device -1) or its device number
// `device` - 1 (device >= 1), paused, at `rate` frames per second, 16-bit
// stereo; the mixer runs on the output's own thread once it is started. On
// failure returns null and sets `error`: BASS_ERROR_DEVICE for a device
// number that does not exist, BASS_ERROR_DRIVER when the device cannot be
// opened.
std::unique_ptr<cOutput> openDeviceOutput(cMixer& mixer, int device, DWORD rate, int& error);

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
