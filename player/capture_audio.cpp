#include "player/capture_audio.h"
#include "player/capture_sink.h"

#include "audio/bass.h"
#include "platform/file_name.h"

namespace {

constexpr unsigned kBytesPerFrame = 4;

void put32(unsigned char* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

} // namespace

std::vector<int16_t> mixFrameSound(long long frameIndex, int fps, long long& mixedSoFar)
{
    if (fps <= 0) return {};
    const long long until = (frameIndex + 1) * kCaptureSampleRate / fps;
    const long long frames = until - mixedSoFar;
    if (frames <= 0) return {};
    std::vector<int16_t> block(static_cast<size_t>(frames) * kCaptureChannels, 0);
    const DWORD mixed = BASS_MixOffline(block.data(), static_cast<DWORD>(frames));
    (void)mixed; // without audio (no create yet) the block stays silent
    mixedSoFar = until;
    return block;
}

cWavFile::~cWavFile() { finish(); }

bool cWavFile::open(const std::string& path)
{
    file = platform::openFile(path.c_str(), "w+b");
    if (!file) {
        reportCaptureProblem("cannot write " + path);
        return false;
    }
    frames = 0;
    writeHeader();
    return true;
}

bool cWavFile::append(const int16_t* samples, size_t sampleFrames)
{
    if (!file) return false;
    if (std::fwrite(samples, kBytesPerFrame, sampleFrames, file) != sampleFrames) return false;
    frames += static_cast<long long>(sampleFrames);
    return true;
}

bool cWavFile::finish()
{
    if (!file) return false;
    writeHeader();
    const bool ok = std::ferror(file) == 0;
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    return ok && closed;
}

void cWavFile::writeHeader()
{
    const uint32_t dataBytes = static_cast<uint32_t>(frames * kBytesPerFrame);
    unsigned char h[44] = {'R', 'I', 'F', 'F', 0,  0, 0, 0, 'W', 'A', 'V',              'E',
                           'f', 'm', 't', ' ', 16, 0, 0, 0, 1,   0,   kCaptureChannels, 0};
    put32(h + 4, 36 + dataBytes);
    put32(h + 24, kCaptureSampleRate);
    put32(h + 28, kCaptureSampleRate * kBytesPerFrame);
    h[32] = kBytesPerFrame;
    h[34] = 16;
    h[36] = 'd';
    h[37] = 'a';
    h[38] = 't';
    h[39] = 'a';
    put32(h + 40, dataBytes);
    std::fseek(file, 0, SEEK_SET);
    std::fwrite(h, 1, sizeof h, file);
    std::fseek(file, 0, SEEK_END);
}
