// The handle table behind every BASS handle.
//
// Handles are serial numbers: each new object gets the next number, and a
// freed number is not handed out again until the 32-bit counter has wrapped
// all the way round, so a stale handle kept by a caller finds nothing instead
// of someone else's channel. 0 is never a handle (it means "none" to callers),
// nor is kReservedHandle, which names the whole mix (KXAUDIO_MIX).
//
// The table itself is not thread-safe; its owner guards it.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>

namespace kxaudio {

constexpr uint32_t kReservedHandle = 0x7FFFFFFFu;

template <class T> class cHandleTable {
public:
    // `first` is the first handle handed out (tests start near the wrap).
    explicit cHandleTable(uint32_t first = 1) : next_(first != 0 ? first : 1) { }

    // Registers `object` under a new handle; 0 when `object` is null or every
    // number is in use.
    uint32_t add(std::shared_ptr<T> object)
    {
        if (!object || objects_.size() >= kMaxObjects) {
            return 0;
        }
        // Skip 0, the reserved number and numbers still in use after a wrap.
        while (next_ == 0 || next_ == kReservedHandle || objects_.count(next_) != 0) {
            ++next_;
        }
        const uint32_t handle = next_++;
        objects_.emplace(handle, std::move(object));
        return handle;
    }

    std::shared_ptr<T> find(uint32_t handle) const
    {
        auto it = objects_.find(handle);
        return it == objects_.end() ? nullptr : it->second;
    }

    // Unregisters `handle` and returns its object; null when it is not in use.
    std::shared_ptr<T> remove(uint32_t handle)
    {
        auto it = objects_.find(handle);
        if (it == objects_.end()) {
            return nullptr;
        }
        std::shared_ptr<T> object = std::move(it->second);
        objects_.erase(it);
        return object;
    }

    size_t size() const { return objects_.size(); }

    template <class F> void forEach(F&& f) const
    {
        for (const auto& entry : objects_) {
            f(entry.first, entry.second);
        }
    }

private:
    static constexpr size_t kMaxObjects = 0xFFFFFFF0u;
    std::unordered_map<uint32_t, std::shared_ptr<T>> objects_;
    uint32_t next_;
};

} // namespace kxaudio
