// The show's events, clock and firing rules.
#include "player/timeline.h"

#include "common/script/xml_tag.h"
#include "player/log.h"

#include <algorithm>
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
    for (cEvent* e : cues_) delete e;
    cues_.clear();
}

cEvent* cTimeline::declare(cXmlTag* tag, bool rerunning)
{
    if (room() <= 0) {
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

cEvent* cTimeline::declareCue(cXmlTag* tag, bool rerunning)
{
    if (rerunning) {
        for (const cEvent* e : cues_)
            if (e->fragment == tag) return nullptr;
    }
    // Declared like any event, then taken aside until it can be placed.
    cEvent* e = declare(tag, rerunning);
    if (!e) return nullptr;
    events[--eventCount] = nullptr;
    cues_.push_back(e);
    return e;
}

void cTimeline::placeCues(int from)
{
    if (cues_.empty()) return;
    std::stable_sort(cues_.begin(), cues_.end(), [](const cEvent* a, const cEvent* b) { return a->time < b->time; });
    // A cue goes before the first event after it in time; key events (time
    // -10) never count as after.
    std::vector<cEvent*> merged;
    merged.reserve(static_cast<size_t>(eventCount - from) + cues_.size());
    size_t c = 0;
    for (int i = from; i < eventCount; ++i) {
        while (c < cues_.size() && events[i]->time >= 0 && events[i]->time > cues_[c]->time) merged.push_back(cues_[c++]);
        merged.push_back(events[i]);
    }
    while (c < cues_.size()) merged.push_back(cues_[c++]);
    std::copy(merged.begin(), merged.end(), events + from);
    eventCount = from + static_cast<int>(merged.size());
    cues_.clear();
}

void cTimeline::sort()
{
    placeCues(eventCount);
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
    const cEvent* outer = running_;
    running_ = &e;
    run(e, again);
    running_ = outer;
}

void cTimeline::fireDue(const Runner& run)
{
    placeCues(nextEvent);
    while (nextEvent < eventCount && events[nextEvent]->time < 0) ++nextEvent;
    while (nextEvent < eventCount && events[nextEvent]->time >= 0 && events[nextEvent]->time <= frameTime) {
        // Advance first: the fragment may declare events or press keys.
        cEvent* e = events[nextEvent++];
        fire(*e, run);
        placeCues(nextEvent);
    }
}

void cTimeline::replay(float upTo, const Runner& run)
{
    scrubbed = true;
    // Index loop: a fragment may append events while we walk.
    for (int i = 0; i < eventCount; ++i) {
        if (events[i]->time >= 0 && events[i]->time <= upTo) {
            fire(*events[i], run);
            placeCues(i + 1);
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
        placeCues(nextEvent);
    }
    passTo(upTo);
}

cTimeline::sAdvance cTimeline::advance(float step, const Runner& run)
{
    sAdvance result{0.0f, false};
    fireDue(run);

    step *= speed;
    clock += step * 0.01f;
    if (frameRate > 0) clock = static_cast<float>(std::nearbyint(double(clock) * frameRate) / frameRate);
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
