// The bytes of a file handed to a load call, from the caller's memory or
// read from disk.
#pragma once

#include "bass.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace kxaudio {

struct tSource {
    const unsigned char* data = nullptr;
    size_t size = 0;
    // Set when the bytes were read from disk: `data` points into it.
    std::shared_ptr<std::vector<unsigned char>> owned;
};

// Resolves a load call's (mem, file, offset, length) into bytes, as bass.h
// describes. Returns BASS_OK or the error code for the call.
int openSource(BOOL mem, const void* file, QWORD offset, QWORD length, tSource& source);

} // namespace kxaudio
