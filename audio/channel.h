// Helpers shared by the channel calls: finding a channel of the right kind
// by its handle and acting on it under its lock.
#pragma once

#include "engine.h"
#include "errors.h"

#include <memory>
#include <mutex>

namespace kxaudio {

// Looks `handle` up as a channel of kind T and, when it is one and not yet
// freed, calls f(T&) with the channel's lock held. f returns a BASS_ code,
// which becomes the call's error code. Returns TRUE when that code is
// BASS_OK; a handle not in use (or of another kind) fails with
// BASS_ERROR_HANDLE, an exception with the code errorFromException gives.
template <class T, class F> BOOL withChannel(DWORD handle, F&& f)
{
    return guarded(BOOL(FALSE), [&]() -> BOOL {
        std::shared_ptr<T> channel = std::dynamic_pointer_cast<T>(mixer().channel(handle));
        if (!channel) {
            return fail(BASS_ERROR_HANDLE);
        }
        std::lock_guard<std::recursive_mutex> guard(channel->lock);
        if (channel->released) {
            return fail(BASS_ERROR_HANDLE);
        }
        const int code = f(*channel);
        return code == BASS_OK ? succeed() : fail(code);
    });
}

// Starts or resumes a channel (its lock held): from the beginning when
// `restart` is set or when it has played to its end. Returns a BASS_ code.
int playChannel(cChannel& channel, bool restart);

// The next serial number for cChannel::started: the channel started now.
uint64_t nextStart();

// A play or pause call on a channel (its lock held): written on the cue
// sheet and, unless the show is only being rehearsed, carried out by `act`,
// which returns a BASS_ code.
template <class F> int cued(cChannel& channel, eCue what, F&& act)
{
    return engine().cue(channel, what) ? act() : BASS_OK;
}

// Frees a channel of kind T: when it returns the mixer is done with it.
template <class T> BOOL freeChannelOfKind(DWORD handle)
{
    return guarded(BOOL(FALSE), [handle]() -> BOOL {
        if (!std::dynamic_pointer_cast<T>(mixer().channel(handle))) {
            return fail(BASS_ERROR_HANDLE);
        }
        // Handles are never reused, so the handle still names the channel
        // just checked (or nothing, when freed meanwhile).
        engine().forgetChannel(handle);
        return mixer().freeChannel(handle) ? succeed() : fail(BASS_ERROR_HANDLE);
    });
}

} // namespace kxaudio
