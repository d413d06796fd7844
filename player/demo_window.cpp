#include "player/demo_window.h"

#include "audio/bass.h"
#include "platform/clock.h"
#include "platform/window_system.h"
#include "player/capture.h"
#include "player/show_end.h"

#include <thread>

sDemoSwitches gSwitches;

void cFrameTimer::reset()
{
    frames = 0;
    step = 0;
    fps = 0;
    start = lastMeasure = platform::ticks();
}

void cFrameTimer::frameEnd()
{
    frames += 1;
    const uint32_t now = platform::ticks();
    const uint32_t elapsed = now - lastMeasure;
    lastFrameEnd = lastMeasure = now;
    lastFrameEndPrecise = platform::preciseMilliseconds();
    if (fixedStep > 0) {
        step = fixedStep;
        fps = 100.0f / fixedStep;
    } else {
        // A frame shorter than a tick would divide by zero.
        fps = elapsed ? float(frames) / (float(elapsed) * 0.001f) : 0.0f;
        step = float(elapsed) * 0.1f;
    }
    frames = 0;
}

cDemoWindow::cDemoWindow() : timer(new cFrameTimer) { }

cDemoWindow::~cDemoWindow()
{
    BASS_Stop();
    BASS_Free();
    delete timer;
    timer = nullptr;
}

bool cDemoWindow::frame()
{
    platform::swapBuffers(deviceContext);
    if (!gCapture.enabled) {
        // Frames are paced by spinning on the clock, so a frame never ends
        // less than 14 ms after the previous one. Sleeping pacing sleeps
        // first, to that moment less what the wake-ups have been late by.
        if (pacing == ePacing::sleep) {
            const double target = wakeMargin.wakeTarget(timer->lastFrameEndPrecise + 14.0);
            if (target > platform::preciseMilliseconds()) {
                platform::sleepUntil(target);
                wakeMargin.noteWake(target, platform::preciseMilliseconds());
            }
        }
        while (platform::ticks() - timer->lastFrameEnd < 14 ||
               platform::preciseMilliseconds() - timer->lastFrameEndPrecise < 14.0)
            std::this_thread::yield();
    }
    timer->frameEnd();
    return false;
}

void cDemoWindow::close()
{
    if (gCapture.enabled && renderContext) {
        makeCurrent();
        flushCapture();
    }
    cGLWindow::close();
}

void cDemoWindow::key(int code, bool)
{
    if (code == 27) {
        noteShowEnd("Escape was pressed");
        close();
    }
}

void cDemoWindow::mouseDown(int button)
{
    if (gSwitches.vhs) {
        if (button == 0)
            timeline.speed = 100.0f;
        else if (button == 2)
            timeline.speed = -100.0f;
    } else {
        timeline.speed = 1.0f;
    }
}

void cDemoWindow::mouseUp(int) { timeline.speed = 1.0f; }
