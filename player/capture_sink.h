// Where captured frames and their sound go. A sink receives each frame as
// it was read back (rows bottom first, 4 bytes a pixel in blue, green, red,
// unused order; see sCaptureFrame) and each frame's sound (16-bit stereo at 44.1 kHz), both in
// show order, and makes the files at the end. Two sinks exist: numbered PNG
// files with a WAV beside them, and one video file made by an encoder
// program (capture_png_sink.h, capture_video_sink.h).
#pragma once

#include "player/capture_audio.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class cCaptureQueue;

// One frame as it was read back.
struct sCaptureFrame {
    int width = 0;
    int height = 0;
    long long index = 0; // 0-based position in the capture
    // height rows, bottom row first, of width pixels of 4 bytes (blue, green,
    // red, unused), or of 3 bytes (red, green, blue) when rgb is set (the
    // serial path reads that way, as it always did).
    bool rgb = false;
    std::vector<unsigned char> pixels;
    size_t rowBytes() const { return size_t(width) * (rgb ? 3 : 4); }
};

// Where the time of a capture went, in seconds; the encoder's share is
// summed over every thread or program that encoded.
struct sCaptureTimes {
    double render = 0;   // drawing the frames (the frame loop without capture work)
    double readBack = 0; // reading the pixels back from GL
    double encode = 0;   // compressing (PNG on the workers, or the encoder program's processor time)
    double write = 0;    // writing files, or frames into the encoder's pipe
    double stall = 0;    // the frame loop waiting for a full queue to drain
};

// Says why a capture's file could not be made: "capture: WHAT" on standard
// output and in log.txt.
void reportCaptureProblem(const std::string& what);

class cCaptureSink {
public:
    virtual ~cCaptureSink() = default;
    // Takes one frame. It may be encoded later, on another thread. False
    // once the sink has failed: the capture should end.
    virtual bool frame(sCaptureFrame&& f) = 0;
    // Takes the sound of the frame handed over next (or just handed over).
    virtual bool sound(const int16_t* samples, size_t sampleFrames) = 0;
    // Completes the files once every frame is in. stopped: the capture ended
    // before its planned length (the files hold what was made). False,
    // with the reason printed, when the result is not usable.
    virtual bool finish() = 0;
    // Adds what the sink measured.
    virtual void addTimes(sCaptureTimes& times) const = 0;
    // The process may end at any moment (the user's session is ending):
    // completes the sound collected so far at once; later sound is dropped.
    virtual void completeSoundNow() {}
};

// What both file sinks share: the sound collected in a WAV file, the
// measured times, the failed flag that any thread may set, and handing a
// frame to a queue of workers.
class cFileCaptureSink : public cCaptureSink {
public:
    explicit cFileCaptureSink(const std::string& wavPath) : wavPath(wavPath) {}
    bool sound(const int16_t* samples, size_t sampleFrames) override;
    void addTimes(sCaptureTimes& total) const override;
    void completeSoundNow() override;

protected:
    // Queues `store` for the frame and counts the frame loop's wait.
    void queueFrame(cCaptureQueue& queue, sCaptureFrame&& f, std::function<void(const sCaptureFrame&)> store);
    // Adds a worker's encoding and writing time.
    void addWork(double encode, double write);
    // Completes the WAV file; false (with a console line) when it fails.
    bool finishSound();

    std::string wavPath;
    std::atomic<bool> failed{false};
    cWavFile wav;
    bool wavOpen = false;
    bool soundComplete = false; // completeSoundNow was called
    mutable std::mutex timesMutex;
    sCaptureTimes times;
};

// Converts a read-back frame to RGB rows top first, 3 bytes a pixel, of
// outWidth x outHeight pixels: rows and columns beyond the frame repeat its
// last row and column; a larger frame is cut at the right and the bottom.
void frameToRgb(const sCaptureFrame& f, int outWidth, int outHeight, unsigned char* rgb);

// The wall-clock time of the process's steady clock, in seconds.
double captureSeconds();
