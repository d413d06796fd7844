// The skeleton that BASS_MusicLoad, BASS_StreamCreateFile and
// BASS_SampleLoad share: the session check, the file's bytes, the channel
// made from them, its registration, and the error code of every way that can
// fail.
#pragma once

#include "mixer.h"
#include "source.h"

#include <functional>
#include <memory>

namespace kxaudio {

// Makes a load call's channel from the file's bytes. Returns null with
// `error` set when the bytes are refused. It may take `source` over (a
// stream keeps reading from it while it plays).
using tMakeChannel = std::function<std::shared_ptr<cChannel>(tSource& source, int& error)>;

// Runs a load call: BASS_ERROR_INIT before BASS_Init, then the bytes as
// openSource resolves (mem, file, offset, length), then `make`, then the new
// channel's handle. Returns the handle, or 0 with the error code set; an
// exception thrown on the way sets the code errorFromException gives.
DWORD loadChannel(BOOL mem, const void* file, QWORD offset, QWORD length, const tMakeChannel& make);

} // namespace kxaudio
