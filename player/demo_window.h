// The part of a demo that keeps time: the frame timer and the timeline
// (events, show clock and the speed factor the mouse sets for scrubbing).
#pragma once

#include "player/frame_timer.h"
#include "player/gl_window.h"
#include "player/timeline.h"
#include "player/wake_margin.h"

// Switches shared by every demo of a run and never reset.
struct sDemoSwitches {
    bool vhs = false; // mouse buttons fast-forward and rewind the show
    bool showfps = false;
    int lockfps = 0;
};
extern sDemoSwitches gSwitches;

class cDemoWindow : public cGLWindow {
public:
    cDemoWindow();
    ~cDemoWindow() override;

    bool frame() override;
    // In capture mode the frame still being read back is collected first,
    // while the context exists.
    void close() override;
    void key(int code, bool down) override;
    void mouseDown(int button) override;
    void mouseUp(int button) override;

    // How a frame waits out its 14 ms: spinning on the clock (every show
    // before pacing= existed), or sleeping until shortly before the end
    // and spinning only for the rest, which leaves the core to others.
    enum class ePacing { spin, sleep };

    cFrameTimer* timer;
    cTimeline timeline;
    ePacing pacing = ePacing::spin;
    // How long before the end of a frame a sleeping wait stops sleeping.
    cWakeMargin wakeMargin;
};
