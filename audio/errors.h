// The error code behind BASS_ErrorGetCode.
#pragma once

#include "bass.h"

namespace kxaudio {

void setError(int code);

// Sets the code and returns FALSE, for one-line failure returns.
inline BOOL fail(int code) {
    setError(code);
    return FALSE;
}

inline BOOL succeed() {
    setError(BASS_OK);
    return TRUE;
}

}  // namespace kxaudio
