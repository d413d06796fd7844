#include "errors.h"

#include <atomic>
#include <new>
#include <system_error>

namespace kxaudio {

namespace {
// One code for the process: callers read it right after the call that set it.
std::atomic<int> lastError{BASS_OK};
} // namespace

void setError(int code) { lastError.store(code, std::memory_order_relaxed); }

int errorFromException() noexcept
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return BASS_ERROR_MEM;
    } catch (const std::system_error& e) {
        const std::error_code code = e.code();
        if (code == std::errc::not_enough_memory || code == std::errc::resource_unavailable_try_again) {
            return BASS_ERROR_MEM;
        }
        return BASS_ERROR_UNKNOWN;
    } catch (...) {
        return BASS_ERROR_UNKNOWN;
    }
}

} // namespace kxaudio

extern "C" KXAUDIO_API int BASS_ErrorGetCode(void) { return kxaudio::lastError.load(std::memory_order_relaxed); }
