#include "load.h"

#include "engine.h"
#include "errors.h"
#include "testtone.h"

#include <atomic>
#include <new>
#include <stdexcept>
#include <system_error>

namespace kxaudio {

namespace {

// The fault KXAUDIO_ThrowInNextLoad asked for, taken by the next load.
std::atomic<int> injectedFault{KXAUDIO_FAULT_NONE};

// Throws what a decoder or a lock might, when a test asked for it.
void throwInjectedFault()
{
    switch (injectedFault.exchange(KXAUDIO_FAULT_NONE)) {
    case KXAUDIO_FAULT_RUNTIME:
        throw std::runtime_error("injected decoder failure");
    case KXAUDIO_FAULT_LOCK:
        throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
    case KXAUDIO_FAULT_RESOURCES:
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    case KXAUDIO_FAULT_MEMORY:
        throw std::bad_alloc();
    case KXAUDIO_FAULT_FOREIGN:
        throw 42;
    default:
        break;
    }
}

} // namespace

DWORD loadChannel(BOOL mem, const void* file, QWORD offset, QWORD length, const tMakeChannel& make)
{
    DWORD handle = 0;
    guarded(BOOL(FALSE), [&]() -> BOOL {
        if (!initialised()) {
            return fail(BASS_ERROR_INIT);
        }
        tSource source;
        int error = openSource(mem, file, offset, length, source);
        if (error != BASS_OK) {
            return fail(error);
        }
        throwInjectedFault();
        std::shared_ptr<cChannel> channel = make(source, error);
        if (!channel) {
            return fail(error);
        }
        handle = registerChannel(std::move(channel), error);
        return error == BASS_OK ? succeed() : fail(error);
    });
    return handle;
}

} // namespace kxaudio

extern "C" KXAUDIO_API void KXAUDIO_ThrowInNextLoad(int fault) { kxaudio::injectedFault.store(fault); }
