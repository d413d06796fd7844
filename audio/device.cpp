// The output session: BASS_Init, BASS_Start, BASS_Stop, BASS_Free and the
// offline mode used for capturing.

#include "bass.h"
#include "engine.h"
#include "errors.h"
#include "outputs.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

namespace kxaudio {

namespace {

constexpr DWORD kMinRate = 8000;
constexpr DWORD kMaxRate = 192000;

struct tEngine {
    // Serialises the session calls. The mixing threads never take it, so a
    // call may hold it while waiting for the output to pause or close.
    std::mutex session;
    std::unique_ptr<cOutput> output; // null in offline mode
    bool offline = false;            // under session
    bool started = false;            // under session
    std::atomic<bool> initialised{false};
    cMixer mixer;
    // Why the output device was lost; written once per session, before
    // `lost` is set.
    char lostWhy[256] = {};
    std::atomic<bool> lost{false};
    std::mutex lostWriter;
};

// Never destroyed: an output left open at exit must not find its mixer gone.
tEngine& engine()
{
    static tEngine* instance = new tEngine;
    return *instance;
}

} // namespace

cMixer& mixer() { return engine().mixer; }

bool initialised() { return engine().initialised.load(); }

DWORD registerChannel(std::shared_ptr<cChannel> channel, int& error)
{
    tEngine& e = engine();
    std::unique_lock<std::mutex> guard(e.session, std::defer_lock);
    if (!cMixer::onMixingThread()) {
        guard.lock();
    }
    if (!e.initialised) {
        error = BASS_ERROR_INIT;
        return 0;
    }
    const DWORD handle = e.mixer.addChannel(std::move(channel));
    error = handle != 0 ? BASS_OK : BASS_ERROR_MEM;
    return handle;
}

void deviceLost(const char* why)
{
    tEngine& e = engine();
    std::lock_guard<std::mutex> guard(e.lostWriter);
    if (e.lost.load()) return;
    std::snprintf(e.lostWhy, sizeof e.lostWhy, "%s", why ? why : "unknown");
    e.lost.store(true);
}

namespace {

// A new session starts with its device working. Called under the session
// lock, with no output running.
void clearDeviceLost()
{
    tEngine& e = engine();
    std::lock_guard<std::mutex> guard(e.lostWriter);
    e.lost.store(false);
    e.lostWhy[0] = 0;
}

} // namespace

} // namespace kxaudio

using namespace kxaudio;

extern "C" KXAUDIO_API const char* KXAUDIO_DeviceLost(void)
{
    tEngine& e = engine();
    return e.initialised.load() && e.lost.load() ? e.lostWhy : nullptr;
}

extern "C" KXAUDIO_API BOOL KXAUDIO_LoseDevice(void)
{
    if (cMixer::onMixingThread()) {
        return fail(BASS_ERROR_NOTAVAIL);
    }
    return guarded(BOOL(FALSE), []() -> BOOL {
        tEngine& e = engine();
        std::lock_guard<std::mutex> guard(e.session);
        if (!e.initialised) {
            return fail(BASS_ERROR_INIT);
        }
        if (e.output) {
            e.output->failNextWrite();
        } else {
            deviceLost("the device was made to fail");
        }
        return succeed();
    });
}

extern "C" KXAUDIO_API BOOL BASS_Init(int device, DWORD freq, DWORD, void*, const void*)
{
    if (cMixer::onMixingThread()) {
        return fail(BASS_ERROR_NOTAVAIL);
    }
    return guarded(BOOL(FALSE), [&]() -> BOOL {
        tEngine& e = engine();
        std::lock_guard<std::mutex> guard(e.session);
        if (e.initialised) {
            return fail(BASS_ERROR_ALREADY);
        }
        if (device < -2) {
            return fail(BASS_ERROR_DEVICE);
        }
        if (freq < kMinRate || freq > kMaxRate) {
            return fail(BASS_ERROR_ILLPARAM);
        }
        e.mixer.setRate(freq);
        clearDeviceLost();
        if (e.offline) {
            e.output.reset();
        } else if (device == -2 || device == 0) {
            e.output = std::make_unique<cNullOutput>(e.mixer, freq);
        } else {
            int error = BASS_ERROR_UNKNOWN;
            e.output = openDeviceOutput(e.mixer, device, freq, error);
            if (!e.output) {
                return fail(error);
            }
        }
        if (e.output) {
            e.output->start();
        }
        e.started = true;
        e.initialised = true;
        return succeed();
    });
}

extern "C" KXAUDIO_API BOOL BASS_Start(void)
{
    if (cMixer::onMixingThread()) {
        return fail(BASS_ERROR_NOTAVAIL);
    }
    return guarded(BOOL(FALSE), []() -> BOOL {
        tEngine& e = engine();
        std::lock_guard<std::mutex> guard(e.session);
        if (!e.initialised) {
            return fail(BASS_ERROR_INIT);
        }
        if (!e.started && e.output) {
            e.output->start();
        }
        e.started = true;
        return succeed();
    });
}

extern "C" KXAUDIO_API BOOL BASS_Stop(void)
{
    if (cMixer::onMixingThread()) {
        return fail(BASS_ERROR_NOTAVAIL);
    }
    return guarded(BOOL(FALSE), []() -> BOOL {
        tEngine& e = engine();
        std::lock_guard<std::mutex> guard(e.session);
        if (!e.initialised) {
            return fail(BASS_ERROR_INIT);
        }
        if (e.started && e.output) {
            e.output->stop();
        }
        e.started = false;
        return succeed();
    });
}

extern "C" KXAUDIO_API BOOL BASS_Free(void)
{
    if (cMixer::onMixingThread()) {
        return fail(BASS_ERROR_NOTAVAIL);
    }
    return guarded(BOOL(FALSE), []() -> BOOL {
        tEngine& e = engine();
        std::lock_guard<std::mutex> guard(e.session);
        if (!e.initialised) {
            return fail(BASS_ERROR_INIT);
        }
        e.output.reset(); // no mixing after this
        clearDeviceLost();
        e.mixer.freeAll();
        e.started = false;
        e.initialised = false;
        return succeed();
    });
}

extern "C" KXAUDIO_API BOOL BASS_SetOffline(BOOL on)
{
    return guarded(BOOL(FALSE), [on]() -> BOOL {
        tEngine& e = engine();
        std::lock_guard<std::mutex> guard(e.session);
        if (e.initialised) {
            return fail(BASS_ERROR_ALREADY);
        }
        e.offline = on != FALSE;
        return succeed();
    });
}

extern "C" KXAUDIO_API DWORD BASS_MixOffline(void* buffer, DWORD frames)
{
    if (cMixer::onMixingThread()) {
        fail(BASS_ERROR_NOTAVAIL);
        return 0;
    }
    DWORD written = 0;
    guarded(BOOL(FALSE), [&]() -> BOOL {
        tEngine& e = engine();
        // Held while mixing: offline, this thread is the mixing thread, and
        // the session must not close under it.
        std::lock_guard<std::mutex> guard(e.session);
        if (!e.initialised) {
            return fail(BASS_ERROR_INIT);
        }
        if (!e.offline) {
            return fail(BASS_ERROR_NOTAVAIL);
        }
        if (frames == 0) {
            return succeed();
        }
        if (!buffer) {
            return fail(BASS_ERROR_ILLPARAM);
        }
        if (e.started) {
            e.mixer.mix(buffer, frames);
        } else {
            std::memset(buffer, 0, size_t(frames) * 4);
        }
        written = frames;
        return succeed();
    });
    return written;
}
