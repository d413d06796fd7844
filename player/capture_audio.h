// Capture mode's sound track: after every captured frame the show's audio
// for that frame is mixed offline, so the sound is exactly frames / fps
// seconds long and in step with the frames; and the WAV file it goes to.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

constexpr unsigned kCaptureSampleRate = 44100;
constexpr unsigned kCaptureChannels = 2;

// Mixes the sound of captured frame `frameIndex` (0-based) at `fps` frames
// a second. mixedSoFar counts the sample frames (pairs) mixed before and
// is advanced. The end of each frame's share is rounded once from the
// start, so no rounding error builds up over a long capture. Silent before
// the show's audio exists.
std::vector<int16_t> mixFrameSound(long long frameIndex, int fps, long long& mixedSoFar);

// A 16-bit stereo 44.1 kHz WAV file written as it grows; the header is
// completed by finish (or by the destructor).
class cWavFile {
public:
    ~cWavFile();
    bool open(const std::string& path); // false with a console line
    bool append(const int16_t* samples, size_t sampleFrames);
    bool finish();
    long long sampleFrames() const { return frames; }

private:
    void writeHeader();
    std::FILE* file = nullptr;
    long long frames = 0;
};
