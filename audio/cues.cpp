// The cue sheet's calls: KXAUDIO_SetCue, KXAUDIO_ForgetCues and
// KXAUDIO_PlaceChannels, which puts every cued channel where the model has
// it (cue_sheet.h).

#include "channel.h"

#include <algorithm>
#include <cmath>

namespace kxaudio {

namespace {

// A playing channel this close to its place plays on untouched: a seek is
// heard, and the show and its sound are never closer than a frame or two.
constexpr double kToleranceSeconds = 0.25;

uint64_t distance(const tShape& shape, uint64_t a, uint64_t b)
{
    uint64_t d = a > b ? a - b : b - a;
    // Round the loop, the end of a pass lies just before the loop start.
    if (shape.known && shape.repeats && shape.length > shape.loopStart && a >= shape.loopStart &&
        b >= shape.loopStart) {
        d = std::min(d, shape.length - shape.loopStart - d);
    }
    return d;
}

void moveTo(cChannel& channel, uint64_t frame)
{
    uint64_t landed = frame;
    if (channel.seek(landed) != BASS_OK) {
        if (frame != 0 || !channel.rewind()) {
            return; // a channel that cannot move stays where it is
        }
        landed = 0;
    }
    channel.position = landed;
    channel.ended = false;
}

// Puts one channel (its lock held) where `place` says.
void apply(cChannel& channel, const tPlace& place, uint64_t tolerance)
{
    const tShape shape = channel.shape();
    if (shape.voices) {
        const std::vector<uint64_t> now = channel.voicePositions();
        bool same = now.size() == place.voices.size();
        for (size_t i = 0; same && i < now.size(); ++i) {
            same = distance(shape, now[i], place.voices[i]) <= tolerance;
        }
        if (!same) {
            channel.setVoices(place.voices);
        }
        channel.ended = place.voices.empty();
        channel.playing = place.playing && !place.voices.empty();
        return;
    }
    const uint64_t here = placeInFile(shape, channel.position);
    if (place.ended) {
        channel.playing = false;
        channel.ended = true;
        return;
    }
    if (!place.playing) {
        channel.playing = false;
        if (channel.ended || here != place.frame) {
            moveTo(channel, place.frame);
        }
        return;
    }
    if (!channel.playing || channel.ended || distance(shape, here, place.frame) > tolerance) {
        moveTo(channel, place.frame);
    }
    if (!channel.playing) {
        channel.playing = true;
        channel.started = nextStart();
    }
}

} // namespace

bool cEngine::cue(const cChannel& channel, eCue what)
{
    if (cMixer::onMixingThread()) {
        return true;
    }
    std::lock_guard<std::mutex> guard(cueMutex_);
    return cues_.record(channel.handle, what);
}

void cEngine::forgetChannel(DWORD handle)
{
    std::lock_guard<std::mutex> guard(cueMutex_);
    cues_.forgetChannel(handle);
}

BOOL cEngine::setCue(double time, QWORD source, DWORD flags)
{
    if (cMixer::onMixingThread()) {
        return fail(BASS_ERROR_NOTAVAIL);
    }
    if (!std::isfinite(time) || (flags & ~DWORD(KXAUDIO_CUE_REHEARSE)) != 0) {
        return fail(BASS_ERROR_ILLPARAM);
    }
    return guarded(BOOL(FALSE), [&]() -> BOOL {
        std::lock_guard<std::mutex> guard(cueMutex_);
        cues_.setContext(time, source, (flags & KXAUDIO_CUE_REHEARSE) != 0);
        return succeed();
    });
}

BOOL cEngine::forgetCues(double after, BOOL scripted)
{
    if (cMixer::onMixingThread()) {
        return fail(BASS_ERROR_NOTAVAIL);
    }
    if (std::isnan(after)) {
        return fail(BASS_ERROR_ILLPARAM);
    }
    return guarded(BOOL(FALSE), [&]() -> BOOL {
        std::lock_guard<std::mutex> guard(cueMutex_);
        cues_.forget(after, scripted != FALSE);
        return succeed();
    });
}

BOOL cEngine::placeChannels(double time)
{
    // On the mixing thread it would move the channel being mixed.
    if (cMixer::onMixingThread()) {
        return fail(BASS_ERROR_NOTAVAIL);
    }
    if (!std::isfinite(time)) {
        return fail(BASS_ERROR_ILLPARAM);
    }
    return guarded(BOOL(FALSE), [&]() -> BOOL {
        if (!initialised()) {
            return fail(BASS_ERROR_INIT);
        }
        struct tPlan {
            std::shared_ptr<cChannel> channel;
            std::vector<tCue> cues;
            tPlace place;
        };
        std::vector<tPlan> plans;
        {
            // What lies after `time` is cued again when the show gets there.
            std::lock_guard<std::mutex> guard(cueMutex_);
            cues_.forget(time, false);
            for (DWORD handle : cues_.channels()) {
                plans.push_back(tPlan{nullptr, cues_.cuesOf(handle), tPlace()});
                plans.back().channel = mixer_.channel(handle);
            }
        }
        const DWORD rate = mixer_.rate();
        for (tPlan& plan : plans) {
            if (plan.channel) {
                std::lock_guard<std::recursive_mutex> guard(plan.channel->lock);
                plan.place = placeAt(plan.cues, plan.channel->shape(), time, rate);
            }
        }
        // Started in the order their plays were made, so the newest music is
        // the one KXAUDIO_PlayingMusic names.
        std::stable_sort(plans.begin(), plans.end(),
                         [](const tPlan& a, const tPlan& b) { return a.place.lastStart < b.place.lastStart; });
        const auto tolerance = uint64_t(kToleranceSeconds * rate);
        for (tPlan& plan : plans) {
            if (!plan.channel) {
                continue;
            }
            std::lock_guard<std::recursive_mutex> guard(plan.channel->lock);
            if (!plan.channel->released) {
                apply(*plan.channel, plan.place, tolerance);
            }
        }
        return succeed();
    });
}

} // namespace kxaudio

using namespace kxaudio;

extern "C" KXAUDIO_API BOOL KXAUDIO_SetCue(double showTime, QWORD source, DWORD flags)
{
    return engine().setCue(showTime, source, flags);
}
extern "C" KXAUDIO_API BOOL KXAUDIO_ForgetCues(double after, BOOL scripted)
{
    return engine().forgetCues(after, scripted);
}
extern "C" KXAUDIO_API BOOL KXAUDIO_PlaceChannels(double showTime) { return engine().placeChannels(showTime); }
