// The timeline on its own: declaring, sorting, firing forward and the
// replay of a scrubbed show, read straight from the object.
#include "common/media/stream.h"
#include "player/script_reader.h"
#include "player/timeline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct sFrame {
    float speed;
    float step; // in units of 10 ms, before the speed
};

struct sTimelineCase {
    const char* what;
    const char* events; // event tags, each with an id
    float startClock;
    std::vector<sFrame> frames;
    const char* fired; // ids per frame, "|" between frames, "*" = run again
    float clock;       // after the last frame
    int rewinds;       // frames that stopped the clock at 0
};

TEST(Timeline, FiresForwardOnceAndReplaysWhileScrubbed)
{
    const sTimelineCase cases[] = {
        {"time order; equal times keep declaration order; key events never fire from the clock",
         R"(<event id="a" time="1.0"/><event id="b" time="0.5"/><event id="c" time="1.0"/>
            <event id="d"/><event id="e" key="Q"/><event id="f" time="2" key="R"/><event id="g" key="S" time="3"/>)",
         0.0f,
         {{1, 50}, {1, 50}, {1, 50}, {1, 50}, {1, 50}, {1, 50}, {1, 50}},
         "d|b|a c||||g",
         3.5f,
         0},
        {"rewinding runs every event up to the clock again; playing on fires the last once more",
         R"(<event id="A" time="0.1"/><event id="B" time="0.2"/><event id="L" time="5"/>)",
         1.0f,
         {{1, 0}, {-100, 0.5f}, {1, 0}, {1, 0}, {-100, 1}},
         "A B|A* B*|B*||",
         0.0f,
         1},
        {"an event first reached by fast-forwarding runs as a first run",
         R"(<event id="A" time="0.1"/><event id="B" time="1"/>)",
         0.0f,
         {{1, 0}, {100, 0.5f}, {1, 0}, {100, 0.5f}},
         "|A|A*|A* B",
         1.0f,
         0},
    };
    for (const sTimelineCase& c : cases) {
        SCOPED_TRACE(c.what);
        cXmlTag root;
        const std::string text = c.events;
        cMemoryStream source(text.data(), static_cast<int>(text.size()));
        ASSERT_EQ(parse(&root, source), 0) << lastError();

        cTimeline timeline;
        for (cXmlTag* tag : root.children()) ASSERT_NE(timeline.declare(tag), nullptr);
        timeline.sort();
        timeline.clock = c.startClock;

        std::string fired;
        const cTimeline::Runner run = [&](cEvent& e, bool again) {
            if (!fired.empty() && fired.back() != '|') fired += ' ';
            fired += std::string(e.fragment->getString("id")) + (again ? "*" : "");
        };
        int rewinds = 0;
        for (size_t i = 0; i < c.frames.size(); ++i) {
            if (i > 0) fired += '|';
            timeline.frameTime = timeline.clock;
            timeline.speed = c.frames[i].speed;
            const cTimeline::sAdvance moved = timeline.advance(c.frames[i].step, run);
            EXPECT_FLOAT_EQ(moved.step, c.frames[i].step * c.frames[i].speed);
            rewinds += moved.rewoundToStart;
        }
        EXPECT_EQ(fired, c.fired);
        EXPECT_NEAR(timeline.clock, c.clock, 1e-5);
        EXPECT_EQ(rewinds, c.rewinds);
    }
}

} // namespace
