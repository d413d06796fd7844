#include "player/stop_request.h"

#include "platform/clock.h"
#include "platform/console.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <thread>

namespace {
std::atomic<bool> gDeadlinePassed{false};
} // namespace

bool deadlinePassed() { return gDeadlinePassed; }

void installStopHandlers() { platform::installStopHandlers(); }

bool stopRequested() { return platform::stopRequest() != nullptr; }

const char* stopRequestName() { return platform::stopRequest(); }

void startDeadline()
{
    const char* value = std::getenv(kDeadlineVariable);
    if (!value || !*value) return;
    char* end = nullptr;
    const long seconds = std::strtol(value, &end, 10);
    if (*end != '\0' || seconds < 1 || seconds > 86400) {
        std::fprintf(stderr, "kestrelux: %s=%s is not a number of seconds from 1 to 86400, ignored\n",
                     kDeadlineVariable, value);
        return;
    }
    std::thread([seconds] {
        platform::sleepMilliseconds(double(seconds) * 1000.0);
        std::fprintf(stderr, "kestrelux: %s of %ld s passed, ending\n", kDeadlineVariable, seconds);
        gDeadlinePassed = true;
#if !defined(_WIN32)
        // As SIGTERM would: the show ends between two frames.
        std::raise(SIGTERM);
#endif
        platform::sleepMilliseconds(kDeadlineGraceMs);
        std::fprintf(stderr, "kestrelux: still running %d ms after %s, ended at once\n", kDeadlineGraceMs,
                     kDeadlineVariable);
        std::fflush(stderr);
        std::_Exit(124);
    }).detach();
}
