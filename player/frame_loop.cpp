// The frame loop: one frame of the show, and run.
#include "audio/bass.h"
#include "common/effect/effect.h"
#include "common/effect/render_state.h"
#include "common/scene/scene_registry.h"
#include "platform/window_system.h"
#include "player/capture.h"
#include "player/demo.h"
#include "player/gl_census.h"
#include "player/log.h"
#include "player/reload.h"
#include "player/show_end.h"
#include "player/stop_request.h"

#include <GL/gl.h>

#include <cstdio>

void cDemo::advanceShow(float step)
{
    if (gSwitches.showfps) std::printf("fps %3.3f\n", timer->fps);

    const bool music = followsMusic();
    if (!toldSoundLost_) {
        if (const char* why = KXAUDIO_DeviceLost()) {
            cLog::get()->logf("Sound device lost (%s): the show goes on without sound%s", why,
                              music ? ", its clock on the frame timer" : "");
            toldSoundLost_ = true;
        }
    }
    musicClock.beginFrame(timeline);
    if (!music) musicClock.release();
    const cTimeline::sAdvance moved = timeline.advance(step, eventRunner());
    if (moved.rewoundToStart) timer->reset();
    step = moved.step;
    // Cameras and effects take the step the clock took.
    if (music) step = musicClock.endFrame(timeline, step);
    // Animated textures show the frame of this frame's show time, the one
    // its events fired at.
    registry->setShowTime(timeline.frameTime);
    registry->advanceCameras(step);
    // A performer's key pressed before the next frame plays at its time.
    KXAUDIO_SetCue(double(timeline.clock), 0, musicClock.muted ? KXAUDIO_CUE_REHEARSE : 0);

    for (int i = 0; i < drawCount; ++i) {
        const sDrawEntry& entry = drawOrder[i];
        cEffect* e = entry.kind == 0 ? entry.effect : nullptr;
        if (!e || !e->active) continue;
        e->update(step);
        e->renderState->apply();
        e->draw();
        if (e->renderState->restore) glPopAttrib();
    }
}

cTimeline::Runner cDemo::eventRunner()
{
    return [this](cEvent& e, bool again) { runEvent(e, again); };
}

void cDemo::runEvent(cEvent& e, bool again)
{
    // A fragment that runs again must leave the scene as it was after its
    // first run, with every key press it makes.
    const bool outer = rerun.again;
    rerun.again = outer || again;
    // Its play calls belong to its time; replayed (sound halted, or a show
    // being rebuilt) they are only written down, and the sound is placed
    // once the show stands at its clock.
    const DWORD rehearse = musicClock.muted || rehearsingSound_ ? KXAUDIO_CUE_REHEARSE : 0;
    KXAUDIO_SetCue(double(e.time), reinterpret_cast<uintptr_t>(e.fragment), rehearse);
    doXML(e.fragment);
    KXAUDIO_SetCue(double(timeline.frameTime), 0, rehearse);
    rerun.again = outer;
}

bool cDemo::followsMusic() const { return timeline.source == cTimeline::eSource::music && !gCapture.enabled; }

bool cDemo::frame()
{
    float step = timer->step;
    previousFrameTime_ = timeline.frameTime;
    timeline.frameTime = timeline.clock;
    handleControllerInput();
    if (gSwitches.lockfps != 0) {
        step = 1.0f / float(gSwitches.lockfps);
        std::printf("lock %f\n", step);
    }
    advanceShow(step);
    if (gCapture.enabled && window) {
        captureFrame(width, height);
        if (gCapture.done()) {
            noteShowEnd(gCapture.failed ? "the capture failed" : "the capture was complete");
            close(); // as if the window had been closed
        }
    }
    return cDemoWindow::frame();
}

void cDemo::run()
{
    if (!window) {
        // Without a window no quit message can ever end the loop.
        cLog::get()->logf("run: there is no window to play in");
        platform::pumpMessages();
        return;
    }
    if (gCapture.done()) {
        cLog::get()->logf("run: capture complete, show skipped");
        finishClose();
        return;
    }
    followMidiPorts();
    timer->reset();
    // Escape, exit and a complete capture say so when they close the window.
    const char* endBefore = showEnd();
    // Capture mode: every frame is one fixed step of show time.
    // Frame k then starts at show time k / fps.
    timer->fixedStep = gCapture.enabled ? gCapture.step() : 0.0f;
    timeline.frameRate = gCapture.enabled ? gCapture.fps : 0;
    timer->step = timer->fixedStep;
    // A stop signal ends the show between two frames, never inside one;
    // so does a close asked for by a key, an event or the capture's end.
    // (The messages may carry one: the session's end.)
    while (platform::pumpMessages() && !closing_ && !stopRequested()) {
        // The show is rebuilt between two frames, when its files changed.
        const bool rebuilt = canReload() && reloader->due() && reloadShow();
        restoreTitle();
        frame();
        glCensusFrame();
        if (rebuilt) cLog::get()->logf("reload: first frame of the new show");
        if (closing_) break;
    }
    // The last frame read back is collected while its context is current.
    if (gCapture.enabled) flushCapture();
    if (showEnd() == endBefore && !stopRequested()) noteShowEnd("the window was closed");
    if (closing_) finishClose();
}
