#include "player/capture_queue.h"

#include "player/capture_sink.h"

cCaptureQueue::cCaptureQueue(unsigned workers, size_t slots) : slots(slots ? slots : 1)
{
    for (unsigned i = 0; i < (workers ? workers : 1); ++i) threads.emplace_back([this] { work(); });
}

cCaptureQueue::~cCaptureQueue()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        ending = true;
    }
    changed.notify_all();
    for (std::thread& t : threads) t.join();
}

double cCaptureQueue::push(std::function<void()> job)
{
    std::unique_lock<std::mutex> lock(mutex);
    double waited = 0;
    if (jobs.size() + busy >= slots) {
        const double from = captureSeconds();
        changed.wait(lock, [this] { return jobs.size() + busy < slots; });
        waited = captureSeconds() - from;
    }
    jobs.push_back(std::move(job));
    lock.unlock();
    changed.notify_all();
    return waited;
}

void cCaptureQueue::drain()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return jobs.empty() && busy == 0; });
}

void cCaptureQueue::work()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return ending || !jobs.empty(); });
        // Jobs still queued are run before the thread ends.
        if (jobs.empty()) return;
        std::function<void()> job = std::move(jobs.front());
        jobs.pop_front();
        ++busy;
        lock.unlock();
        job();
        lock.lock();
        --busy;
        changed.notify_all();
    }
}
