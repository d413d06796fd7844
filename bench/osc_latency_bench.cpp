// OSC latency, in the frames the show draws: a show of one clear colour
// plays in a window (offscreen unless SDL_VIDEODRIVER says otherwise) with
// the player's OSC listener on a loopback port, while another thread sends
// 1000 packets (the first argument changes the count), each at a random
// moment after the previous one was drawn, so they fall all over the frame.
// Each packet sets the colour to its own number; a probe effect drawn after
// the clear reads the centre pixel back in every frame. Every other packet
// goes through the UDP socket (arrived: the send on the loopback address
// has returned, so the datagram waits in the socket); the others are handed
// to the listener as its socket thread hands a datagram over (arrived: the
// action is queued), which leaves out the system's waking of that thread.
// For each packet: the frame under way when it had arrived (the last one
// whose start, the moment the frame takes the queued actions, came before),
// and the first frame that drew its colour. Goal: the next frame,
// never two frames later. Prints, per path, the distribution of frames
// later (0, 1, 2+) and the time from arrival to the end of that frame's
// drawing: fastest, median, 99th percentile, slowest.
#include "bench_show.h"
#include "common/effect/effect.h"
#include "platform/message_box.h"
#include "platform/window_system.h"
#include "player/controllers/osc_listener.h"

#include <GL/gl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <oscpack/ip/UdpSocket.h>
#include <oscpack/osc/OscOutboundPacketStream.h>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kMaxSendMs = 0.25;

double msSince(Clock::time_point start, Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(t - start).count();
}

// Shared by the probe (frame loop) and the sender.
struct sRecord {
    std::mutex lock;
    std::vector<double> frameStart; // when each frame started: it takes the queue first
    std::vector<double> sent;       // per packet, ms: when the send or hand-over was done
    std::vector<double> sentTook;   // how long the send or hand-over took, ms
    std::vector<long> shownIn;      // per packet: the frame that first drew it, -1 before
    std::vector<double> shownAt;    // ms, the end of that frame's drawing
    std::atomic<int> lastShown{0};
    Clock::time_point start = Clock::now();
};

// Drawn after the clear: reads the centre pixel, whose green and blue are
// the number of the last packet handled.
class cProbe : public cEffect {
public:
    explicit cProbe(sRecord& r) : record_(r) { setName("probe"); }
    void update(float) override { }
    void draw() override
    {
        GLint viewport[4] = {};
        glGetIntegerv(GL_VIEWPORT, viewport);
        unsigned char rgb[3] = {};
        glReadPixels(viewport[2] / 2, viewport[3] / 2, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        const int number = rgb[1] << 8 | rgb[2];
        std::lock_guard<std::mutex> hold(record_.lock);
        const long frame = long(record_.frameStart.size()) - 1;
        if (number > 0 && size_t(number) <= record_.shownIn.size() && record_.shownIn[size_t(number - 1)] < 0) {
            record_.shownIn[size_t(number - 1)] = frame;
            record_.shownAt[size_t(number - 1)] = msSince(record_.start, Clock::now());
            record_.lastShown = number;
        }
    }

private:
    sRecord& record_;
};

int freePort()
{
    // Bind to any port, learn it, let it go.
    for (int port = 47000 + int(std::random_device()() % 2000); port < 65000; port += 7) {
        controllers::cOscListener trial;
        std::string problem;
        if (trial.start(0x7F000001u, port, problem)) return port;
    }
    return 0;
}

double at(std::vector<double> v, double q)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[size_t(q * double(v.size() - 1))];
}

} // namespace

int main(int argc, char** argv)
{
    const int packets = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (packets < 1 || packets > 65535) {
        std::printf("usage: %s [packets, 1 to 65535]\n", argv[0]);
        return 1;
    }
    setenv("SDL_VIDEODRIVER", getenv("SDL_VIDEODRIVER") ? getenv("SDL_VIDEODRIVER") : "offscreen", 1);
    setenv("SDL_AUDIODRIVER", getenv("SDL_AUDIODRIVER") ? getenv("SDL_AUDIODRIVER") : "dummy", 1);
    platform::setInteractive(false);
    // The colour changes are written to the key log: not into this folder.
    const std::string keyLog = "/tmp/kx_osc_latency_bench_keylog_" + std::to_string(getpid()) + ".txt";
    setKeyLogFile(keyLog);

    const char script[] = "<demo name=\"osc latency\" width=\"320\" height=\"240\" pacing=\"sleep\">"
                          "<loadplugin file=\"lumafold.dll\"/><add type=\"clear\" name=\"bg\"/>"
                          "<bg color=\"ff000000\"/><draworder effect=\"bg\"/><create/><load/></demo>";
    sBenchShow show;
    if (!show.build(script)) return 1;
    cDemo& demo = show.demo;
    if (!demo.window || !demo.findEffect("bg")) {
        std::printf("no window or no clear effect (is lumafold beside the benchmark?)\n");
        return 1;
    }
    sRecord record;
    record.sent.assign(size_t(packets), 0.0);
    record.sentTook.assign(size_t(packets), 0.0);
    record.shownIn.assign(size_t(packets), -1);
    record.shownAt.assign(size_t(packets), 0.0);
    cProbe* probe = new cProbe(record); // the demo deletes its effects
    demo.effects[demo.effectCount++] = probe;
    demo.drawOrder[demo.drawCount++] = cDemo::sDrawEntry{0, probe, nullptr};

    const int port = freePort();
    controllers::cOscListener listener;
    std::string problem;
    if (!port || !listener.start(0x7F000001u, port, problem)) {
        std::printf("no OSC port: %s\n", problem.c_str());
        return 1;
    }

    std::atomic<bool> done{false};
    std::thread sender([&] {
        UdpTransmitSocket socket(IpEndpointName("127.0.0.1", port));
        std::mt19937 random(12345);
        std::uniform_int_distribution<int> pause(0, 30000); // us: up to two frames
        char buffer[256];
        for (int i = 1; i <= packets; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
            char colour[16];
            std::snprintf(colour, sizeof colour, "ff00%04x", i);
            osc::OutboundPacketStream p(buffer, sizeof buffer);
            p << osc::BeginMessage("/kestrelux/set") << "bg"
              << "color" << colour << osc::EndMessage;
            const Clock::time_point before = Clock::now();
            if (i % 2)
                socket.Send(p.Data(), p.Size());
            else
                listener.take(p.Data(), p.Size());
            const Clock::time_point after = Clock::now();
            {
                std::lock_guard<std::mutex> hold(record.lock);
                record.sent[size_t(i - 1)] = msSince(record.start, after);
                record.sentTook[size_t(i - 1)] = msSince(before, after);
            }
            for (int wait = 0; record.lastShown < i && wait < 20000; ++wait)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        done = true;
    });
    while (!done && platform::pumpMessages()) {
        {
            std::lock_guard<std::mutex> hold(record.lock);
            record.frameStart.push_back(msSince(record.start, Clock::now()));
        }
        demo.frame();
    }
    sender.join();
    listener.stop();
    std::remove(keyLog.c_str());

    std::vector<double> frameMs;
    for (size_t i = 1; i < record.frameStart.size(); ++i)
        frameMs.push_back(record.frameStart[i] - record.frameStart[i - 1]);
    std::printf("OSC packet to the first frame drawn with its change: %d packets over %zu frames, one frame "
                "%.1f ms (median)\n",
                packets, record.frameStart.size(), at(frameMs, 0.5));
    bool met = true;
    for (int path = 1; path >= 0; --path) {
        long later[3] = {0, 0, 0}, lost = 0, unmeasured = 0;
        std::vector<double> ms, lateBy;
        for (int i = path ? 1 : 2; i <= packets; i += 2) {
            const size_t k = size_t(i - 1);
            // A sender that lost its core inside the send leaves the moment
            // of arrival unknown within that time.
            if (record.sentTook[k] > kMaxSendMs) {
                ++unmeasured;
                continue;
            }
            if (record.shownIn[k] < 0) {
                ++lost;
                continue;
            }
            const long underWay =
                long(std::upper_bound(record.frameStart.begin(), record.frameStart.end(), record.sent[k]) -
                     record.frameStart.begin()) -
                1;
            const long frames = record.shownIn[k] - underWay;
            ++later[frames <= 0 ? 0 : frames == 1 ? 1 : 2];
            if (frames >= 2) lateBy.push_back(record.frameStart[size_t(underWay + 1)] - record.sent[k]);
            ms.push_back(record.shownAt[k] - record.sent[k]);
        }
        const bool ok = later[2] == 0 && lost == 0;
        met = met && ok;
        std::printf("%s\n  frames later: 0: %ld, 1 (the next frame): %ld, 2 or more: %ld, never drawn: %ld "
                    "(goal: the next frame, never two later: %s); not counted, the send took over %.2f ms: %ld\n",
                    path ? "through the UDP socket, from the send:" : "from the listener's hand-over:", later[0],
                    later[1], later[2], lost, ok ? "met" : "MISSED", kMaxSendMs, unmeasured);
        std::printf("  ms to the end of that frame's drawing: fastest %.2f, median %.2f, p99 %.2f, slowest %.2f\n",
                    at(ms, 0.0), at(ms, 0.5), at(ms, 0.99), at(ms, 1.0));
        if (!lateBy.empty()) {
            std::printf("  those two frames later arrived this long before the next frame took the queue, ms:");
            for (double d : lateBy) std::printf(" %.3f", d);
            std::printf("\n");
        }
    }
    return met ? 0 : 2;
}
