#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>

namespace vistrel {

// A single slot shared by a producer and a consumer thread: a new value replaces an unread one,
// so a slow consumer sees only the latest value and never builds a queue.
template <typename T>
class LatestFrameMailbox {
public:
    // Returns true when the slot was empty, i.e. the consumer needs waking.
    bool Post(T value)
    {
        std::lock_guard lock(mutex);
        const bool wasEmpty = !slot.has_value();
        if (!wasEmpty)
            ++replaced;
        slot = std::move(value);
        return wasEmpty;
    }

    std::optional<T> Take()
    {
        std::lock_guard lock(mutex);
        std::optional<T> out = std::move(slot);
        slot.reset();
        return out;
    }

    bool HasValue() const
    {
        std::lock_guard lock(mutex);
        return slot.has_value();
    }

    void Clear()
    {
        std::lock_guard lock(mutex);
        slot.reset();
    }

    // How many posted values were replaced before anyone took them.
    std::uint64_t Replaced() const
    {
        std::lock_guard lock(mutex);
        return replaced;
    }

private:
    mutable std::mutex mutex;
    std::optional<T> slot;
    std::uint64_t replaced = 0;
};

} // namespace vistrel
