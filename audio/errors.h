// The error code behind BASS_ErrorGetCode, and the one mapping from an
// exception to an error code that every exported call goes through.
#pragma once

#include "bass.h"

namespace kxaudio {

void setError(int code);

// Sets the code and returns FALSE, for one-line failure returns.
inline BOOL fail(int code)
{
    setError(code);
    return FALSE;
}

inline BOOL succeed()
{
    setError(BASS_OK);
    return TRUE;
}

// The error code for the exception being handled: BASS_ERROR_MEM for
// std::bad_alloc and for a std::system_error that reports a lack of memory
// or of resources (a thread or a lock that cannot be made), else
// BASS_ERROR_UNKNOWN. Call only from inside a catch block.
int errorFromException() noexcept;

// Runs the body of an exported call, which sets the error code itself and
// returns the call's result. No exception may leave an extern "C" function:
// one thrown by the body sets the code that errorFromException gives, and
// the call returns `failed`.
template <class R, class F> R guarded(R failed, F&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        setError(errorFromException());
        return failed;
    }
}

} // namespace kxaudio
