#include "player/capture_audio.h"

#include "audio/bass.h"
#include "player/capture.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr unsigned kRate = 44100;
constexpr unsigned kChannels = 2;
constexpr unsigned kBytesPerFrame = 4;

std::FILE* gWav = nullptr;
long long gFramesWritten = 0; // audio frames (sample pairs) so far
bool gFinished = false;       // the WAV is complete; later frames add nothing

void put32(unsigned char* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

void writeHeader(uint32_t dataBytes)
{
    unsigned char h[44] = {'R', 'I', 'F', 'F', 0,  0, 0, 0, 'W', 'A', 'V',       'E',
                           'f', 'm', 't', ' ', 16, 0, 0, 0, 1,   0,   kChannels, 0};
    put32(h + 4, 36 + dataBytes);
    put32(h + 24, kRate);
    put32(h + 28, kRate * kBytesPerFrame);
    h[32] = kBytesPerFrame;
    h[34] = 16;
    h[36] = 'd';
    h[37] = 'a';
    h[38] = 't';
    h[39] = 'a';
    put32(h + 40, dataBytes);
    std::fseek(gWav, 0, SEEK_SET);
    std::fwrite(h, 1, sizeof h, gWav);
    std::fseek(gWav, 0, SEEK_END);
}

} // namespace

void captureFrameAudio(long long frameIndex)
{
    if (gFinished) return;
    if (!gWav) {
        const std::string path = gCapture.folder + "/audio.wav";
        gWav = std::fopen(path.c_str(), "w+b");
        if (!gWav) {
            std::printf("capture: cannot write %s\n", path.c_str());
            return;
        }
        writeHeader(0);
    }
    // The audio that belongs to the frames up to this one, rounded once, so
    // no rounding error builds up over a long capture.
    const long long until = (frameIndex + 1) * kRate / gCapture.fps;
    const long long frames = until - gFramesWritten;
    if (frames <= 0) return;
    std::vector<int16_t> block(static_cast<size_t>(frames) * kChannels, 0);
    const DWORD mixed = BASS_MixOffline(block.data(), static_cast<DWORD>(frames));
    (void)mixed; // without audio (no create yet) the block stays silent
    std::fwrite(block.data(), kBytesPerFrame, static_cast<size_t>(frames), gWav);
    gFramesWritten = until;
}

void finishCaptureAudio()
{
    if (!gWav) return;
    gFinished = true;
    writeHeader(static_cast<uint32_t>(gFramesWritten * kBytesPerFrame));
    std::fclose(gWav);
    gWav = nullptr;
}
