// Measures the length of each frame; the frame step is that length in units
// of 10 ms of show time.
#pragma once

#include <cstdint>

class cFrameTimer {
public:
    cFrameTimer()
    {
        reset();
        lastFrameEnd = 0;
    }

    void reset();
    void frameEnd();

    uint32_t start = 0;
    uint32_t frames = 0;
    uint32_t lastMeasure = 0;
    uint32_t lastFrameEnd = 0;
    float step = 0;
    float fps = 0;

    // Capture mode: every frame counts as this many units, whatever it took (0 = measure).
    float fixedStep = 0;
    // The end of the last frame on the precise clock, for pacing: the
    // millisecond counter alone would let frames end after 13.x ms.
    double lastFrameEndPrecise = 0;
};
