#include "errors.h"

#include <atomic>

namespace kxaudio {

namespace {
// One code for the process: callers read it right after the call that set it.
std::atomic<int> lastError{BASS_OK};
}  // namespace

void setError(int code) {
    lastError.store(code, std::memory_order_relaxed);
}

}  // namespace kxaudio

extern "C" KXAUDIO_API int BASS_ErrorGetCode(void) {
    return kxaudio::lastError.load(std::memory_order_relaxed);
}
