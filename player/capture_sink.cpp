#include "player/capture_sink.h"

#include "player/capture_queue.h"
#include "player/log.h"

#include <cstdio>

void reportCaptureProblem(const std::string& what)
{
    std::printf("capture: %s\n", what.c_str());
    cLog::get()->logf("capture: %s", what.c_str());
}

bool cFileCaptureSink::sound(const int16_t* samples, size_t sampleFrames)
{
    if (soundComplete) return !failed;
    if (!wavOpen) {
        wavOpen = true;
        if (!wav.open(wavPath)) failed = true;
    }
    if (!wav.append(samples, sampleFrames)) failed = true;
    return !failed;
}

void cFileCaptureSink::completeSoundNow()
{
    if (soundComplete) return;
    soundComplete = true;
    if (!finishSound()) failed = true;
    wavOpen = false;
}

void cFileCaptureSink::addTimes(sCaptureTimes& total) const
{
    std::lock_guard<std::mutex> lock(timesMutex);
    total.encode += times.encode;
    total.write += times.write;
    total.stall += times.stall;
}

void cFileCaptureSink::queueFrame(cCaptureQueue& queue, sCaptureFrame&& f,
                                  std::function<void(const sCaptureFrame&)> store)
{
    auto shared = std::make_shared<sCaptureFrame>(std::move(f));
    const double waited = queue.push([shared, store] { store(*shared); });
    std::lock_guard<std::mutex> lock(timesMutex);
    times.stall += waited;
}

void cFileCaptureSink::addWork(double encode, double write)
{
    std::lock_guard<std::mutex> lock(timesMutex);
    times.encode += encode;
    times.write += write;
}

bool cFileCaptureSink::finishSound()
{
    if (!wavOpen || wav.finish()) return true;
    reportCaptureProblem("cannot write " + wavPath);
    return false;
}
