// The show clock, timed events and the frame loop.
#include "common/effect/effect.h"
#include "common/effect/render_state.h"
#include "common/scene/scene_registry.h"
#include "common/script/xml_tag.h"
#include "platform/window_system.h"
#include "player/capture.h"
#include "player/capture_audio.h"
#include "player/demo.h"
#include "player/log.h"
#include "player/reload.h"
#include "player/stop_request.h"

#include <GL/gl.h>

#include <cstdio>
#include <strings.h>

void cDemo::declareEvent(cXmlTag* tag)
{
    if (eventCount >= kMaxEvents) {
        cLog::get()->logf("Error: a show holds at most %d events, event left out", kMaxEvents);
        return;
    }
    if (rerun.again) {
        // Declared by a fragment that runs again: declared once only.
        for (int i = 0; i < eventCount; ++i)
            if (events[i]->fragment == tag) return;
    }
    cEvent* e = new cEvent;
    for (const cXmlParam* p : tag->params()) {
        if (strcasecmp(p->name, "key") == 0) {
            e->trigger = static_cast<signed char>(p->value[0]);
            e->time = -10.0f;
        } else if (strcasecmp(p->name, "time") == 0) {
            e->time = cXmlTag::toFloat(p->value);
        } else if (strcasecmp(p->name, "bank") == 0) {
            e->bank = cXmlTag::toInt(p->value);
        }
    }
    e->fragment = tag;
    events[eventCount++] = e;
}

void cDemo::sortEvents()
{
    // A stable bubble sort: events with equal times keep declaration order.
    if (eventCount >= 2) {
        bool swapped = true;
        while (swapped) {
            swapped = false;
            for (int i = 0; i + 1 < eventCount; ++i) {
                if (events[i]->time > events[i + 1]->time) {
                    cEvent* t = events[i];
                    events[i] = events[i + 1];
                    events[i + 1] = t;
                    swapped = true;
                }
            }
        }
    }
    for (int i = 0; i < eventCount; ++i) cLog::get()->logf("event%i - %3.3f", i, events[i]->time);
}

void cDemo::advanceShow(float step)
{
    if (gSwitches.showfps) std::printf("fps %3.3f\n", timer->fps);

    while (nextEvent < eventCount && events[nextEvent]->time < 0) ++nextEvent;
    while (nextEvent < eventCount && events[nextEvent]->time >= 0 && events[nextEvent]->time <= frameTime) {
        // Advance first: the fragment may declare events or press keys.
        cEvent* e = events[nextEvent++];
        fireEvent(e);
    }

    step *= speed;
    clock += step * 0.01f;

    if (speed != 1.0f) {
        // Replay: rebuild the show state by re-running every event up to the clock.
        if (clock < 0) {
            clock = 0;
            timer->reset();
        }
        scrubbed = true;
        for (int i = 0; i < eventCount; ++i) {
            if (events[i]->time >= 0 && events[i]->time <= clock) {
                fireEvent(events[i]);
                nextEvent = i;
            }
        }
    }
    // Animated textures show the frame of this frame's show time, the one
    // its events fired at.
    registry->setShowTime(frameTime);
    registry->advanceCameras(step);

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

void cDemo::fireEvent(cEvent* e)
{
    // Once the show has been scrubbed the clock runs events again: every
    // frame of a replay, and the events after the new clock when it plays
    // on. A fragment that ran before must then leave the scene as it was
    // after its first run, with every key press it makes.
    const bool outer = rerun.again;
    rerun.again = outer || (scrubbed && e->fired);
    e->fired = true;
    doXML(e->fragment);
    rerun.again = outer;
}

bool cDemo::frame()
{
    float step = timer->step;
    frameTime = clock;
    if (gSwitches.lockfps != 0) {
        step = 1.0f / float(gSwitches.lockfps);
        std::printf("lock %f\n", step);
    }
    advanceShow(step);
    if (gCapture.enabled && window) {
        captureFrameAudio(gCapture.written);
        captureFrame(width, height);
        if (gCapture.done()) close(); // as if the window had been closed
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
        close();
        platform::pumpMessages();
        return;
    }
    timer->reset();
    // Capture mode: every frame is one fixed step of show time.
    // Frame k then starts at show time k / fps.
    timer->fixedStep = gCapture.enabled ? gCapture.step() : 0.0f;
    timer->step = timer->fixedStep;
    // A stop signal ends the show between two frames, never inside one.
    while (!stopRequested() && platform::pumpMessages()) {
        // The show is rebuilt between two frames, when its files changed.
        const bool rebuilt = canReload() && reloader->due() && reloadShow();
        restoreTitle();
        frame();
        if (rebuilt) cLog::get()->logf("reload: first frame of the new show");
    }
}
