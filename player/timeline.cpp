// The show's events, clock and firing rules.
#include "player/timeline.h"

#include "common/script/xml_tag.h"
#include "player/log.h"

#include <cmath>
#include <strings.h>

cTimeline::~cTimeline() { clear(); }

void cTimeline::clear()
{
    for (int i = 0; i < eventCount; ++i) {
        delete events[i];
        events[i] = nullptr;
    }
    eventCount = 0;
    nextEvent = 0;
}

cEvent* cTimeline::declare(cXmlTag* tag, bool rerunning)
{
    if (eventCount >= kMaxEvents) {
        cLog::get()->logf("Error: a show holds at most %d events, event left out", kMaxEvents);
        return nullptr;
    }
    if (rerunning) {
        // Declared by a fragment that runs again: declared once only.
        for (int i = 0; i < eventCount; ++i)
            if (events[i]->fragment == tag) return nullptr;
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
    return e;
}

void cTimeline::sort()
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

void cTimeline::fire(cEvent& e, const Runner& run)
{
    // Once the show has been scrubbed the clock runs events again: every
    // frame of a replay, and the events after the new clock when it plays
    // on. The runner must then leave the scene as it was after the first run.
    const bool again = scrubbed && e.fired;
    e.fired = true;
    run(e, again);
}

void cTimeline::fireDue(const Runner& run)
{
    while (nextEvent < eventCount && events[nextEvent]->time < 0) ++nextEvent;
    while (nextEvent < eventCount && events[nextEvent]->time >= 0 && events[nextEvent]->time <= frameTime) {
        // Advance first: the fragment may declare events or press keys.
        cEvent* e = events[nextEvent++];
        fire(*e, run);
    }
}

void cTimeline::replay(float upTo, const Runner& run)
{
    scrubbed = true;
    // Index loop: a fragment may append events while we walk.
    for (int i = 0; i < eventCount; ++i) {
        if (events[i]->time >= 0 && events[i]->time <= upTo) {
            fire(*events[i], run);
            nextEvent = i;
        }
    }
}

void cTimeline::catchUp(float upTo, const Runner& run, const Passer& pass)
{
    float now = 0.0f;
    auto passTo = [&](float time) {
        if (time <= now) return;
        pass((time - now) * 100.0f, time);
        now = time;
    };
    // The events run as the frames of an unbroken run would fire them: in
    // array order, stopping at the first one not yet due, so an event a
    // fragment declares waits behind the earlier-declared ones still ahead.
    nextEvent = 0;
    while (nextEvent < eventCount) {
        cEvent* e = events[nextEvent];
        if (e->time >= 0 && e->time > upTo) break;
        // Advance first: the fragment may declare events or press keys.
        ++nextEvent;
        if (e->time < 0) continue;
        passTo(e->time);
        fire(*e, run);
    }
    passTo(upTo);
}

cTimeline::sAdvance cTimeline::advance(float step, const Runner& run)
{
    sAdvance result{0.0f, false};
    fireDue(run);

    step *= speed;
    clock += step * 0.01f;
    if (speed != 1.0f) {
        // Replay: rebuild the show state by re-running every event up to the clock.
        if (clock < 0) {
            clock = 0;
            result.rewoundToStart = true;
        }
        replay(clock, run);
    }
    result.step = step;
    return result;
}

float cTimeline::follow(double target)
{
    if (std::isfinite(target)) clock = target > double(frameTime) ? float(target) : frameTime;
    return (clock - frameTime) * 100.0f;
}
