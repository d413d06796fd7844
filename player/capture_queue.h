// A bounded queue of jobs run by worker threads, so that encoding and
// writing overlap with rendering while memory stays bounded: when every
// slot is taken, the frame loop waits (and that wait is measured).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class cCaptureQueue {
public:
    // workers: threads taking jobs (jobs run in order when there is one);
    // slots: jobs that may wait or run at once before push waits.
    cCaptureQueue(unsigned workers, size_t slots);
    ~cCaptureQueue(); // finishes every job
    cCaptureQueue(const cCaptureQueue&) = delete;
    cCaptureQueue& operator=(const cCaptureQueue&) = delete;

    // Queues a job, first waiting while every slot is taken. Returns the
    // seconds it waited.
    double push(std::function<void()> job);
    // Waits until every job queued so far has run.
    void drain();

private:
    void work();

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> jobs;
    size_t busy = 0; // jobs taken and still running
    size_t slots;
    bool ending = false;
    std::vector<std::thread> threads;
};
