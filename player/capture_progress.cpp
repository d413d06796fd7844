#include "player/capture_progress.h"

#include "platform/clock.h"
#include "platform/console.h"

#include <cmath>
#include <cstdio>

namespace {

// A terminal line is cheap to rewrite; a line in a file should be rare.
constexpr double kTerminalIntervalMs = 250.0;
constexpr double kLineIntervalMs = 5000.0;

struct sReporter {
    bool started = false;
    bool terminal = false;
    double firstFrameMs = 0; // when the first frame was done: the rate is measured from there
    double lastLineMs = 0;
    size_t shownWidth = 0; // length of the line on the terminal, to blank its rest
    sCaptureProgress last;
};
sReporter gReporter;

sCaptureProgress measure(long long written, long long total, double nowMs)
{
    sCaptureProgress p;
    p.frame = written;
    p.total = total;
    p.seconds = (nowMs - gReporter.firstFrameMs) / 1000.0;
    // The first frame also carries the loading and start-up time, so the
    // rate counts the frames after it.
    if (written > 1 && p.seconds > 0) p.fps = double(written - 1) / p.seconds;
    return p;
}

void show(const std::string& text, bool final)
{
    if (gReporter.terminal) {
        std::string line = "\r" + text;
        if (text.size() < gReporter.shownWidth) line.append(gReporter.shownWidth - text.size(), ' ');
        gReporter.shownWidth = text.size();
        if (final) line += "\n";
        std::fputs(line.c_str(), stderr);
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    std::fflush(stderr);
}

} // namespace

std::string formatDuration(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    if (seconds > 1e9) seconds = 1e9;
    const long long s = static_cast<long long>(std::ceil(seconds));
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

std::string formatCaptureProgress(const sCaptureProgress& p)
{
    char text[160];
    const long long percent = p.total > 0 && p.frame >= 0 ? p.frame * 100 / p.total : 0;
    int n = std::snprintf(text, sizeof text, "capture: frame %lld/%lld (%lld%%)", p.frame, p.total, percent);
    if (p.fps > 0 && std::isfinite(p.fps) && n > 0 && size_t(n) < sizeof text) {
        const long long left = p.total > p.frame ? p.total - p.frame : 0;
        std::snprintf(text + n, sizeof text - size_t(n), ", %.1f fps, %s left", p.fps,
                      formatDuration(double(left) / p.fps).c_str());
    }
    return text;
}

std::string formatCaptureSummary(const sCaptureProgress& p)
{
    char text[160];
    int n = std::snprintf(text, sizeof text, "capture: %lld of %lld frames in %s", p.frame, p.total,
                          formatDuration(p.seconds).c_str());
    if (p.fps > 0 && std::isfinite(p.fps) && n > 0 && size_t(n) < sizeof text)
        std::snprintf(text + n, sizeof text - size_t(n), " (%.1f fps)", p.fps);
    return text;
}

void reportCaptureProgress(long long written, long long total)
{
    const double now = platform::preciseMilliseconds();
    if (!gReporter.started) {
        gReporter.started = true;
        gReporter.terminal = platform::standardErrorIsTerminal();
        gReporter.firstFrameMs = now;
    }
    gReporter.last = measure(written, total, now);
    const double interval = gReporter.terminal ? kTerminalIntervalMs : kLineIntervalMs;
    if (written == 1 || now - gReporter.lastLineMs >= interval) {
        gReporter.lastLineMs = now;
        show(formatCaptureProgress(gReporter.last), false);
    }
}

void finishCaptureProgress()
{
    if (!gReporter.started) return;
    show(formatCaptureSummary(gReporter.last), true);
    gReporter = sReporter();
}
