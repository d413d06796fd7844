#include "mixer.h"

#include <algorithm>
#include <cstring>

namespace kxaudio {

namespace {

thread_local bool tlMixing = false;

// Marks the current thread as the mixing thread for the scope's lifetime.
class cMixingScope {
public:
    cMixingScope() : outer_(tlMixing) { tlMixing = true; }
    ~cMixingScope() { tlMixing = outer_; }

private:
    bool outer_;
};

} // namespace

cMixer::cMixer() : sum_(kBlockFrames * 2), channelBlock_(kBlockFrames * 2), outBlock_(kBlockFrames * 2)
{
    snapshot_.reserve(64);
}

bool cMixer::onMixingThread() { return tlMixing; }

DWORD cMixer::addChannel(std::shared_ptr<cChannel> channel)
{
    std::lock_guard<std::mutex> guard(registryMutex_);
    cChannel* added = channel.get();
    const DWORD handle = channels_.add(std::move(channel));
    if (handle != 0) {
        added->handle = handle; // the mixer reads it only after this lock
    }
    return handle;
}

std::shared_ptr<cChannel> cMixer::channel(DWORD handle) const
{
    std::lock_guard<std::mutex> guard(registryMutex_);
    return channels_.find(handle);
}

void cMixer::releaseChannel(cChannel& channel)
{
    // Waits for the mixing thread to finish rendering this channel, if it is.
    std::lock_guard<std::recursive_mutex> guard(channel.lock);
    if (!channel.released) {
        channel.released = true;
        channel.playing = false;
        channel.dsps.clear();
        channel.release();
    }
}

bool cMixer::freeChannel(DWORD handle)
{
    std::shared_ptr<cChannel> removed;
    {
        std::lock_guard<std::mutex> guard(registryMutex_);
        removed = channels_.remove(handle);
    }
    if (!removed) {
        return false;
    }
    releaseChannel(*removed);
    return true;
}

void cMixer::freeAll()
{
    std::vector<std::shared_ptr<cChannel>> all;
    {
        std::lock_guard<std::mutex> guard(registryMutex_);
        std::vector<DWORD> handles;
        channels_.forEach([&](DWORD handle, const std::shared_ptr<cChannel>&) { handles.push_back(handle); });
        for (DWORD handle : handles) {
            all.push_back(channels_.remove(handle));
        }
    }
    for (auto& channel : all) {
        releaseChannel(*channel);
    }
    std::lock_guard<std::mutex> guard(mixDataMutex_);
    mixData_.clear();
}

DWORD cMixer::copyMixData(void* out, DWORD bytes) const
{
    std::lock_guard<std::mutex> guard(mixDataMutex_);
    return mixData_.copyLatest(out, bytes);
}

size_t cMixer::channelCount() const
{
    std::lock_guard<std::mutex> guard(registryMutex_);
    return channels_.size();
}

std::vector<std::shared_ptr<cChannel>> cMixer::channels() const
{
    std::vector<std::shared_ptr<cChannel>> all;
    std::lock_guard<std::mutex> guard(registryMutex_);
    all.reserve(channels_.size());
    channels_.forEach([&](DWORD, const std::shared_ptr<cChannel>& channel) { all.push_back(channel); });
    return all;
}

void cMixer::mix(void* out, DWORD frames)
{
    std::lock_guard<std::mutex> guard(mixMutex_);
    cMixingScope scope;
    auto* bytes = static_cast<unsigned char*>(out);
    while (frames > 0) {
        const DWORD n = std::min(frames, kBlockFrames);
        mixBlock(bytes, n);
        bytes += size_t(n) * 4;
        frames -= n;
    }
}

void cMixer::mixBlock(unsigned char* out, DWORD frames)
{
    const size_t samples = size_t(frames) * 2;
    {
        std::lock_guard<std::mutex> guard(registryMutex_);
        channels_.forEach([this](DWORD, const std::shared_ptr<cChannel>& channel) { snapshot_.push_back(channel); });
    }

    std::fill(sum_.begin(), sum_.begin() + samples, 0);
    for (const auto& channel : snapshot_) {
        float volume = 1.0f;
        {
            std::lock_guard<std::recursive_mutex> guard(channel->lock);
            if (channel->released || !channel->playing) {
                continue;
            }
            DWORD produced = channel->render(channelBlock_.data(), frames);
            produced = std::min(produced, frames);
            std::fill(channelBlock_.begin() + size_t(produced) * 2, channelBlock_.begin() + samples, int16_t(0));
            channel->position += produced;
            if (produced < frames) {
                channel->playing = false;
                channel->ended = true;
            }
            // A DSP may free the channel (the lock is re-entrant); from then
            // on its block no longer counts.
            if (!channel->dsps.empty()) {
                channel->dsps.run(channel->handle, channelBlock_.data(), frames * 4, &channel->released);
            }
            if (channel->released) {
                continue;
            }
            channel->data.append(channelBlock_.data(), frames);
            volume = channel->volume;
        }
        if (volume >= 1.0f) {
            for (size_t i = 0; i < samples; ++i) {
                sum_[i] += channelBlock_[i];
            }
        } else {
            for (size_t i = 0; i < samples; ++i) {
                sum_[i] += int32_t(float(channelBlock_[i]) * volume);
            }
        }
    }

    for (size_t i = 0; i < samples; ++i) {
        outBlock_[i] = int16_t(std::clamp<int32_t>(sum_[i], -32768, 32767));
    }
    std::memcpy(out, outBlock_.data(), samples * sizeof(int16_t));
    {
        std::lock_guard<std::mutex> guard(mixDataMutex_);
        mixData_.append(outBlock_.data(), frames);
    }

    // Dropping the copies here destroys channels freed during the block, on
    // this thread, after their last use.
    snapshot_.clear();
    mixed_.fetch_add(frames);
}

} // namespace kxaudio
