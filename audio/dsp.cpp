// DSP procedures: the chain run by the mixer and the calls that attach and
// detach them.

#include "dsp.h"

#include "channel.h"
#include "errors.h"

#include <atomic>

namespace kxaudio {

namespace {

// DSP handles are serial numbers over the whole process, like channel
// handles, so a stale one never names someone else's procedure.
std::atomic<uint32_t> nextDsp{1};

HDSP newDspHandle()
{
    HDSP handle = nextDsp.fetch_add(1);
    while (handle == 0) {
        handle = nextDsp.fetch_add(1);
    }
    return handle;
}

} // namespace

cDspChain::cDspChain() { running_.reserve(8); }

HDSP cDspChain::add(DSPPROC* proc, void* user, int priority)
{
    auto entry = std::make_shared<tEntry>(tEntry{newDspHandle(), proc, user, priority, true});
    auto at = list_.begin();
    while (at != list_.end() && (*at)->priority >= priority) {
        ++at;
    }
    list_.insert(at, entry);
    return entry->handle;
}

bool cDspChain::remove(HDSP dsp)
{
    for (auto it = list_.begin(); it != list_.end(); ++it) {
        if ((*it)->handle == dsp) {
            (*it)->attached = false;
            list_.erase(it);
            return true;
        }
    }
    return false;
}

void cDspChain::clear()
{
    for (auto& entry : list_) {
        entry->attached = false;
    }
    list_.clear();
}

void cDspChain::run(DWORD channel, void* buffer, DWORD bytes, const bool* released)
{
    running_.assign(list_.begin(), list_.end());
    for (const auto& entry : running_) {
        if (*released) {
            break;
        }
        if (entry->attached) {
            entry->proc(entry->handle, channel, buffer, bytes, entry->user);
        }
    }
    running_.clear();
}

} // namespace kxaudio

using namespace kxaudio;

extern "C" KXAUDIO_API HDSP BASS_ChannelSetDSP(DWORD handle, DSPPROC* proc, void* user, int priority)
{
    if (!proc) {
        setError(BASS_ERROR_ILLPARAM);
        return 0;
    }
    HDSP dsp = 0;
    withChannel<cChannel>(handle, [&](cChannel& channel) -> int {
        dsp = channel.dsps.add(proc, user, priority);
        return BASS_OK;
    });
    return dsp;
}

extern "C" KXAUDIO_API BOOL BASS_ChannelRemoveDSP(DWORD handle, HDSP dsp)
{
    return withChannel<cChannel>(
        handle, [&](cChannel& channel) -> int { return channel.dsps.remove(dsp) ? BASS_OK : BASS_ERROR_HANDLE; });
}
