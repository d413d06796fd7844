// The output session: BASS_Init, BASS_Start, BASS_Stop, BASS_Free and the
// offline mode used for capturing, as calls of the one engine object.

#include "bass.h"
#include "engine.h"
#include "errors.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

namespace kxaudio {

namespace {

constexpr DWORD kMinRate = 8000;
constexpr DWORD kMaxRate = 192000;

} // namespace

cEngine& engine()
{
    static cEngine* instance = new cEngine;
    return *instance;
}

DWORD cEngine::registerChannel(std::shared_ptr<cChannel> channel, int& error)
{
    std::unique_lock<std::mutex> guard(session_, std::defer_lock);
    if (!cMixer::onMixingThread()) {
        guard.lock();
    }
    if (!initialised_) {
        error = BASS_ERROR_INIT;
        return 0;
    }
    const DWORD handle = mixer_.addChannel(std::move(channel));
    error = handle != 0 ? BASS_OK : BASS_ERROR_MEM;
    return handle;
}

void cEngine::deviceLost(const char* why)
{
    std::lock_guard<std::mutex> guard(lostWriter_);
    if (lost_.load()) return;
    std::snprintf(lostWhy_, sizeof lostWhy_, "%s", why ? why : "unknown");
    lost_.store(true);
}

void cEngine::clearDeviceLost()
{
    std::lock_guard<std::mutex> guard(lostWriter_);
    lost_.store(false);
    lostWhy_[0] = 0;
}

const char* cEngine::deviceLostReason() const
{
    return initialised_.load() && lost_.load() ? lostWhy_ : nullptr;
}

// The frame of the calls on an open session: refused on the mixing thread
// (they would wait for the block it mixes), run under the session lock,
// BASS_ERROR_INIT outside a session.
template <class Body>
BOOL cEngine::inSession(Body body)
{
    if (cMixer::onMixingThread()) {
        return fail(BASS_ERROR_NOTAVAIL);
    }
    return guarded(BOOL(FALSE), [&]() -> BOOL {
        std::lock_guard<std::mutex> guard(session_);
        if (!initialised_) {
            return fail(BASS_ERROR_INIT);
        }
        return body();
    });
}

BOOL cEngine::loseDevice(bool stall)
{
    return inSession([this, stall]() -> BOOL {
        if (output_ && stall) {
            output_->stall();
        } else if (output_) {
            output_->failNextWrite();
        } else {
            deviceLost("the device was made to fail");
        }
        return succeed();
    });
}

void deviceLost(const char* why) { engine().deviceLost(why); }

BOOL cEngine::init(int device, DWORD freq)
{
    if (cMixer::onMixingThread()) {
        return fail(BASS_ERROR_NOTAVAIL);
    }
    return guarded(BOOL(FALSE), [&]() -> BOOL {
        std::lock_guard<std::mutex> guard(session_);
        if (initialised_) {
            return fail(BASS_ERROR_ALREADY);
        }
        if (device < -2) {
            return fail(BASS_ERROR_DEVICE);
        }
        if (freq < kMinRate || freq > kMaxRate) {
            return fail(BASS_ERROR_ILLPARAM);
        }
        mixer_.setRate(freq);
        clearDeviceLost();
        if (offline_) {
            output_.reset();
        } else if (device == -2 || device == 0) {
            output_ = std::make_unique<cNullOutput>(mixer_, freq);
        } else {
            int error = BASS_ERROR_UNKNOWN;
            output_ = openDeviceOutput(mixer_, device, freq, error);
            if (!output_) {
                return fail(error);
            }
        }
        if (output_) {
            output_->start();
        }
        started_ = true;
        initialised_ = true;
        return succeed();
    });
}

BOOL cEngine::start()
{
    return inSession([this]() -> BOOL {
        if (!started_ && output_) {
            output_->start();
        }
        started_ = true;
        return succeed();
    });
}

BOOL cEngine::stop()
{
    return inSession([this]() -> BOOL {
        if (started_ && output_) {
            output_->stop();
        }
        started_ = false;
        return succeed();
    });
}

BOOL cEngine::free()
{
    return inSession([this]() -> BOOL {
        output_.reset(); // no mixing after this
        clearDeviceLost();
        mixer_.freeAll();
        {
            std::lock_guard<std::mutex> cues(cueMutex_);
            cues_.clear();
        }
        started_ = false;
        initialised_ = false;
        return succeed();
    });
}

BOOL cEngine::setOffline(BOOL on)
{
    return guarded(BOOL(FALSE), [&]() -> BOOL {
        // Asked from the mixing thread this would wait for the block that
        // thread is mixing offline.
        if (cMixer::onMixingThread()) {
            return fail(BASS_ERROR_NOTAVAIL);
        }
        std::lock_guard<std::mutex> guard(session_);
        if (initialised_) {
            return fail(BASS_ERROR_ALREADY);
        }
        offline_ = on != FALSE;
        return succeed();
    });
}

DWORD cEngine::mixOffline(void* buffer, DWORD frames)
{
    if (cMixer::onMixingThread()) {
        fail(BASS_ERROR_NOTAVAIL);
        return 0;
    }
    DWORD written = 0;
    guarded(BOOL(FALSE), [&]() -> BOOL {
        // Held while mixing: offline, this thread is the mixing thread, and
        // the session must not close under it.
        std::lock_guard<std::mutex> guard(session_);
        if (!initialised_) {
            return fail(BASS_ERROR_INIT);
        }
        if (!offline_) {
            return fail(BASS_ERROR_NOTAVAIL);
        }
        if (frames == 0) {
            return succeed();
        }
        if (!buffer) {
            return fail(BASS_ERROR_ILLPARAM);
        }
        if (started_) {
            mixer_.mix(buffer, frames);
        } else {
            std::memset(buffer, 0, size_t(frames) * 4);
        }
        written = frames;
        return succeed();
    });
    return written;
}

} // namespace kxaudio

using namespace kxaudio;

extern "C" KXAUDIO_API BOOL BASS_Init(int device, DWORD freq, DWORD, void*, const void*)
{
    return engine().init(device, freq);
}
extern "C" KXAUDIO_API BOOL BASS_Start(void) { return engine().start(); }
extern "C" KXAUDIO_API BOOL BASS_Stop(void) { return engine().stop(); }
extern "C" KXAUDIO_API BOOL BASS_Free(void) { return engine().free(); }
extern "C" KXAUDIO_API BOOL BASS_SetOffline(BOOL on) { return engine().setOffline(on); }
extern "C" KXAUDIO_API DWORD BASS_MixOffline(void* buffer, DWORD frames) { return engine().mixOffline(buffer, frames); }
extern "C" KXAUDIO_API const char* KXAUDIO_DeviceLost(void) { return engine().deviceLostReason(); }
extern "C" KXAUDIO_API BOOL KXAUDIO_LoseDevice(void) { return engine().loseDevice(false); }
extern "C" KXAUDIO_API BOOL KXAUDIO_StallDevice(void) { return engine().loseDevice(true); }
