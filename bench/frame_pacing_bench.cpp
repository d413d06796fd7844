// Frame pacing of a show with an empty draw order: plays frames for a while
// (10 s by default, or the first argument in seconds) in a real window and
// prints the median and the 1st/99th percentile frame time and the share of
// frames that took 14 to 16 ms.
#include "common/media/stream.h"
#include "platform/message_box.h"
#include "platform/window_system.h"
#include "player/demo.h"
#include "player/log.h"
#include "player/script_reader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    platform::setInteractive(false);

    const char script[] = "<demo name=\"pacing\" width=\"640\" height=\"480\"><create/><load/></demo>";
    cXmlTag root;
    cMemoryStream source(script, sizeof script - 1);
    if (parse(&root, source) != 0) {
        std::printf("script: %s\n", lastError());
        return 1;
    }
    cDemo demo;
    demo.doXML(root.firstChild);
    if (!demo.window) {
        std::printf("no window could be opened\n");
        return 1;
    }

    using clock = std::chrono::steady_clock;
    std::vector<double> frameMs;
    demo.timer->reset();
    const auto start = clock::now();
    auto last = start;
    while (std::chrono::duration<double>(last - start).count() < seconds && platform::pumpMessages()) {
        demo.frame();
        const auto now = clock::now();
        frameMs.push_back(std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    }
    if (frameMs.size() < 3) {
        std::printf("too few frames\n");
        return 1;
    }
    frameMs.erase(frameMs.begin()); // the first frame includes the start-up
    std::vector<double> sorted = frameMs;
    std::sort(sorted.begin(), sorted.end());
    auto at = [&](double q) { return sorted[static_cast<size_t>(q * double(sorted.size() - 1))]; };
    const auto inBand =
        std::count_if(frameMs.begin(), frameMs.end(), [](double ms) { return ms >= 14.0 && ms <= 16.0; });
    std::printf("frames %zu in %.1f s\n", frameMs.size(), seconds);
    std::printf("frame time median %.2f ms, p1 %.2f ms, p99 %.2f ms\n", at(0.5), at(0.01), at(0.99));
    std::printf("frames within 14-16 ms: %.1f%%\n", 100.0 * double(inBand) / double(frameMs.size()));
    return 0;
}
