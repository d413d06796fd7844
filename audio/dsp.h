// The chain of DSP procedures attached to one channel.
//
// The chain belongs to its channel and is used only with the channel's lock
// held: the mixing thread runs it while rendering the channel, and attaching
// or detaching takes the same lock, so once remove() returns the mixer is no
// longer inside (or about to enter) the removed procedure.
#pragma once

#include "bass.h"

#include <memory>
#include <vector>

namespace kxaudio {

class cDspChain {
public:
    cDspChain();

    // Attaches `proc` and returns its new handle. Higher priorities run
    // first; equal priorities in attach order.
    HDSP add(DSPPROC* proc, void* user, int priority);
    // Detaches a procedure; false when `dsp` is not attached here.
    bool remove(HDSP dsp);
    // Detaches everything (the channel is being freed).
    void clear();
    bool empty() const { return list_.empty(); }

    // Calls each procedure in order on `buffer` (`bytes` bytes of 16-bit
    // stereo). A procedure may attach or detach procedures of this chain or
    // free the channel while it runs: one detached meanwhile is not called,
    // one attached meanwhile waits for the next block, and once `*released`
    // turns true nothing more is called.
    void run(DWORD channel, void* buffer, DWORD bytes, const bool* released);

private:
    struct tEntry {
        HDSP handle;
        DSPPROC* proc;
        void* user;
        int priority;
        bool attached;
    };

    std::vector<std::shared_ptr<tEntry>> list_;
    // The chain as it stood when run() began; kept as a member so that the
    // mixing thread reuses its storage instead of allocating every block.
    std::vector<std::shared_ptr<tEntry>> running_;
};

} // namespace kxaudio
