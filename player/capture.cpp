#include "player/capture.h"

#include "player/capture_audio.h"
#include "platform/file_name.h"
#include "player/capture_progress.h"
#include "player/capture_sink.h"
#include "player/frame_readback.h"
#include "player/log.h"

#include <algorithm>
#include <chrono>
#include <cstring>

sCapture gCapture;

namespace {

struct sCaptureRun {
    std::unique_ptr<cCaptureSink> sink;
    std::unique_ptr<cFrameReadback> readback; // of the current show's GL context
    long long soundMixed = 0;                 // sample frames mixed so far
    sCaptureTimes times;
    double lastFrameEnd = -1; // when the last captureFrame returned, for the render time
    long long delivered = 0;
};
sCaptureRun gRun;

void deliver(sCaptureFrame&& f)
{
    if (!gRun.sink) return;
    if (!gRun.sink->frame(std::move(f))) gCapture.failed = true;
    ++gRun.delivered;
    reportCaptureProgress(gRun.delivered, gCapture.maxFrames);
}

} // namespace

double captureSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void frameToRgb(const sCaptureFrame& f, int outWidth, int outHeight, unsigned char* rgb)
{
    if (f.width <= 0 || f.height <= 0 || outWidth <= 0 || outHeight <= 0 ||
        f.pixels.size() < f.rowBytes() * size_t(f.height))
        return;
    const size_t outRow = size_t(outWidth) * 3;
    const int copied = std::min(outWidth, f.width);
    for (int y = 0; y < outHeight; ++y) {
        // Output rows run top first; read-back rows bottom first.
        const int fromTop = std::min(y, f.height - 1);
        const unsigned char* src = f.pixels.data() + size_t(f.height - 1 - fromTop) * f.rowBytes();
        unsigned char* dst = rgb + size_t(y) * outRow;
        if (f.rgb) {
            std::memcpy(dst, src, size_t(copied) * 3);
        } else {
            for (int x = 0; x < copied; ++x) {
                dst[x * 3] = src[x * 4 + 2];
                dst[x * 3 + 1] = src[x * 4 + 1];
                dst[x * 3 + 2] = src[x * 4];
            }
        }
        for (int x = copied; x < outWidth; ++x) std::memcpy(dst + x * 3, dst + (copied - 1) * 3, 3);
    }
}

void startCapture(std::unique_ptr<cCaptureSink> sink)
{
    gRun = sCaptureRun();
    gRun.sink = std::move(sink);
}

bool captureFrame(int width, int height)
{
    if (!gRun.sink || width <= 0 || height <= 0) return false;
    const double start = captureSeconds();
    if (gRun.lastFrameEnd >= 0) gRun.times.render += start - gRun.lastFrameEnd;

    const long long index = gCapture.written++;
    const std::vector<int16_t> sound = mixFrameSound(index, gCapture.fps, gRun.soundMixed);
    if (!gRun.sink->sound(sound.data(), sound.size() / kCaptureChannels)) gCapture.failed = true;

    if (!gRun.readback) gRun.readback.reset(new cFrameReadback(!gCapture.serial));
    gRun.readback->read(width, height, index, deliver);
    gRun.lastFrameEnd = captureSeconds();
    return !gCapture.failed;
}

void flushCapture()
{
    if (!gRun.readback) return;
    gRun.readback->flush(deliver);
    gRun.times.readBack += gRun.readback->seconds;
    gRun.readback.reset();
    gRun.lastFrameEnd = -1;
}

void completeCaptureSound()
{
    if (gRun.sink) gRun.sink->completeSoundNow();
}

bool finishCapture()
{
    // Every frame's sound is in already: the sound file is complete first,
    // in case the process is ended while the last frames are written.
    completeCaptureSound();
    flushCapture();
    finishCaptureProgress();
    if (!gRun.sink) return true;
    const double start = captureSeconds();
    bool ok = gRun.sink->finish() && !gCapture.failed;
    const double finishing = captureSeconds() - start;
    sCaptureTimes& t = gRun.times;
    gRun.sink->addTimes(t);
    cLog::get()->logf("capture: %lld frames; render %.2f s, read back %.2f s, encode %.2f s, write %.2f s, "
                      "waiting for the encoder %.2f s, finishing %.2f s",
                      gRun.delivered, t.render, t.readBack, t.encode, t.write, t.stall, finishing);
    gRun = sCaptureRun();
    return ok;
}
