#include "cue_sheet.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kxaudio {

uint64_t placeInFile(const tShape& shape, uint64_t played)
{
    if (!shape.known || played < shape.length) return played;
    if (!shape.repeats) return shape.length;
    if (shape.loopStart >= shape.length) return shape.length ? played % shape.length : 0;
    return shape.loopStart + (played - shape.length) % (shape.length - shape.loopStart);
}

tPlace placeAt(const std::vector<tCue>& cues, const tShape& shape, double t, uint32_t rate)
{
    // Made in order, but a fragment run again writes its cues anew after
    // later ones: walked in time order, equal times as made.
    std::vector<tCue> sorted(cues);
    std::stable_sort(sorted.begin(), sorted.end(), [](const tCue& a, const tCue& b) { return a.time < b.time; });

    const double length = shape.known ? double(shape.length) / rate : std::numeric_limits<double>::infinity();
    tPlace place;
    // The channel's own play clock: seconds it has played since it last
    // started from its beginning, and, for a sample, the play clock at which
    // each playback started.
    double played = 0;
    double since = 0;
    std::vector<double> voices;
    auto runTo = [&](double to) {
        if (!place.playing || to <= since) return;
        played += to - since;
        since = to;
        if (shape.voices) {
            if (!shape.repeats)
                voices.erase(
                    std::remove_if(voices.begin(), voices.end(), [&](double v) { return played - v >= length; }),
                    voices.end());
            if (voices.empty()) {
                place.playing = false;
                place.ended = true;
            }
        } else if (!shape.repeats && played >= length) {
            played = length;
            place.playing = false;
            place.ended = true;
        }
    };
    for (const tCue& cue : sorted) {
        if (cue.time > t) break;
        runTo(cue.time);
        switch (cue.what) {
        case eCue::pause:
            place.playing = false;
            continue;
        case eCue::play:
        case eCue::restart:
            if (cue.what == eCue::restart || place.ended) played = 0;
            break;
        case eCue::voice:
            if (!shape.voices) continue;
            if (voices.size() >= shape.voices) voices.erase(voices.begin());
            voices.push_back(played);
            break;
        }
        place.playing = true;
        place.ended = false;
        since = cue.time;
        place.lastStart = cue.time;
    }
    runTo(t);

    auto frames = [rate](double seconds) { return uint64_t(std::llround(std::max(0.0, seconds) * rate)); };
    if (shape.voices) {
        for (double v : voices) {
            const uint64_t at = frames(played - v);
            place.voices.push_back(shape.repeats && shape.length ? at % shape.length : at);
        }
    } else {
        place.frame = place.ended ? shape.length : placeInFile(shape, frames(played));
    }
    return place;
}

void cCueSheet::setContext(double time, uint64_t source, bool rehearse)
{
    time_ = time;
    rehearse_ = rehearse;
    if (source != 0 && source != source_)
        cues_.erase(std::remove_if(cues_.begin(), cues_.end(), [source](const tCue& c) { return c.source == source; }),
                    cues_.end());
    source_ = source;
}

bool cCueSheet::record(uint32_t channel, eCue what)
{
    cues_.push_back(tCue{time_, channel, what, source_});
    if (std::find(cued_.begin(), cued_.end(), channel) == cued_.end()) cued_.push_back(channel);
    return !rehearse_;
}

void cCueSheet::forget(double time, bool scripted)
{
    cues_.erase(std::remove_if(cues_.begin(), cues_.end(),
                               [&](const tCue& c) { return c.time > time || (scripted && c.source != 0); }),
                cues_.end());
}

void cCueSheet::forgetChannel(uint32_t channel)
{
    cues_.erase(std::remove_if(cues_.begin(), cues_.end(), [channel](const tCue& c) { return c.channel == channel; }),
                cues_.end());
    cued_.erase(std::remove(cued_.begin(), cued_.end(), channel), cued_.end());
}

void cCueSheet::clear()
{
    cues_.clear();
    cued_.clear();
    time_ = 0;
    source_ = 0;
    rehearse_ = false;
}

std::vector<tCue> cCueSheet::cuesOf(uint32_t channel) const
{
    std::vector<tCue> mine;
    for (const tCue& c : cues_)
        if (c.channel == channel) mine.push_back(c);
    return mine;
}

} // namespace kxaudio
