// The null device: a thread that mixes at the real-time rate and discards
// the mix, for machines without sound and for tests.

#include "bass.h"
#include "outputs.h"

#include <chrono>
#include <vector>

namespace kxaudio {

cNullOutput::cNullOutput(cMixer& mixer, DWORD rate) : mixer_(mixer), rate_(rate)
{
    thread_ = std::thread(&cNullOutput::run, this);
}

cNullOutput::~cNullOutput()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void cNullOutput::start()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        started_ = true;
    }
    wake_.notify_all();
}

void cNullOutput::stop()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        started_ = false;
    }
    wake_.notify_all();
}

void cNullOutput::run()
{
    using clock = std::chrono::steady_clock;
    const DWORD blockFrames = cMixer::kBlockFrames;
    const auto blockTime =
        std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(double(blockFrames) / double(rate_)));
    // After a stall longer than this the schedule restarts from now instead
    // of catching up in a burst.
    const auto maxLag = blockTime * 4;
    std::vector<int16_t> block(size_t(blockFrames) * 2);

    std::unique_lock<std::mutex> lock(mutex_);
    auto due = clock::now();
    while (!quit_) {
        if (!started_) {
            wake_.wait(lock, [this] { return quit_ || started_; });
            due = clock::now();
            continue;
        }
        mixer_.mix(block.data(), blockFrames);
        due += blockTime;
        const auto now = clock::now();
        if (now - due > maxLag) {
            due = now;
        }
        wake_.wait_until(lock, due, [this] { return quit_ || !started_; });
    }
}

} // namespace kxaudio
