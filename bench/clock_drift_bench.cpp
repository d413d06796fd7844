// How far the show clock strays from the music over a whole show, with the
// machine loaded: plays the bundled show (data/script.txt, run from a folder
// that holds data/ with the plug-ins beside this program) twice, with the
// frame clock and with clock="music", while busy processes that this bench
// starts (one per processor, or the first argument) compete for the
// processors. Each frame compares how far the show clock has moved since
// the music began with how far the music has played (its position as the
// mixer reports it, which moves a block at a time), and prints that gap
// when the show ends (at 60 s), and averaged over the first and the last
// second of the music: their difference is the drift.
#include "audio/bass.h"
#include "common/script/xml_tag.h"
#include "platform/message_box.h"
#include "platform/window_system.h"
#include "player/demo.h"
#include "player/log.h"
#include "player/script_reader.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// A demo that watches its clock against the music after every frame.
class cWatchedDemo : public cDemo {
public:
    bool frame() override
    {
        const float frameTime = timeline.clock;
        const bool result = cDemo::frame();
        const uint32_t music = KXAUDIO_PlayingMusic();
        if (!music) return result;
        const double played = BASS_ChannelBytes2Seconds(music, BASS_ChannelGetPosition(music, BASS_POS_BYTE));
        if (!started) {
            // The music began in this frame: its position p belongs to show
            // time start + p.
            started = true;
            start = frameTime;
        }
        gaps.push_back(double(timeline.clock) - (start + played));
        clocks.push_back(timeline.clock);
        return result;
    }

    bool started = false;
    double start = 0;
    std::vector<double> gaps, clocks;
};

// Plays the show; clock is null for the frame clock.
bool play(const char* clock, const char* title)
{
    cXmlTag root;
    if (loadFile(&root, "script.txt") != 0) {
        std::printf("script.txt: %s\n", lastError());
        return false;
    }
    cXmlTag* demoTag = root.firstChild;
    while (demoTag && !demoTag->nameIs("demo")) demoTag = demoTag->next;
    if (!demoTag) {
        std::printf("script.txt holds no demo\n");
        return false;
    }
    demoTag->addParam("name", title);
    if (clock) demoTag->addParam("clock", clock);

    cWatchedDemo demo;
    demo.doXML(demoTag);
    if (demo.gaps.size() < 2) {
        std::printf("%-6s the music never played\n", title);
        return false;
    }
    // The first and the last second of the music: how the gap moved is the drift.
    auto average = [&](double from, double to, size_t& n) {
        double sum = 0;
        n = 0;
        for (size_t i = 0; i < demo.gaps.size(); ++i) {
            if (demo.clocks[i] < from || demo.clocks[i] > to) continue;
            sum += demo.gaps[i];
            ++n;
        }
        return n ? sum / double(n) : 0.0;
    };
    const double begin = demo.clocks.front(), end = demo.clocks.back();
    size_t firstFrames = 0, lastFrames = 0;
    const double first = average(begin, begin + 1.0, firstFrames);
    const double last = average(end - 1.0, end, lastFrames);
    std::printf("%-6s after %.1f s of show: gap %+.1f ms at the end; on average %+.1f ms over the first second "
                "(%zu frames), %+.1f ms over the last (%zu frames): drift %+.1f ms\n",
                title, end, 1000.0 * demo.gaps.back(), 1000.0 * first, firstFrames, 1000.0 * last, lastFrames,
                1000.0 * (last - first));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int busy = argc > 1 ? std::atoi(argv[1]) : int(std::max(1u, std::thread::hardware_concurrency()));
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    platform::setInteractive(false);
    cLog::get()->setEnabled(false);

    std::vector<pid_t> children;
    for (int i = 0; i < busy; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            volatile unsigned long spin = 0;
            for (;;) spin = spin + 1;
        }
        if (pid > 0) children.push_back(pid);
    }
    std::printf("%zu busy processes compete\n", children.size());

    const bool ok = play(nullptr, "frames") && play("music", "music");

    for (pid_t pid : children) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return ok ? 0 : 1;
}
