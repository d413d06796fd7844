// Tracker modules through libopenmpt.
#pragma once

#include "bass.h"

#include <cstdint>
#include <memory>

struct openmpt_module;

namespace kxaudio {

class cModuleDecoder {
public:
    // Parses `size` bytes at `data` into libopenmpt's own copy (the bytes
    // are not used after this returns). Returns null and sets `error`
    // (BASS_ERROR_FILEFORM for data that is no module libopenmpt reads).
    static std::unique_ptr<cModuleDecoder> open(const unsigned char* data, size_t size,
                                                DWORD outRate, int& error);
    ~cModuleDecoder();
    cModuleDecoder(const cModuleDecoder&) = delete;
    cModuleDecoder& operator=(const cModuleDecoder&) = delete;

    // Plays the song once (false) or endlessly (true).
    void setLoop(bool loop);
    // Renders up to `frames` stereo frames; fewer only at the song's end.
    DWORD read(int16_t* out, DWORD frames);
    bool rewind();

private:
    cModuleDecoder() = default;

    openmpt_module* module_ = nullptr;
    int32_t rate_ = 44100;
};

}  // namespace kxaudio
