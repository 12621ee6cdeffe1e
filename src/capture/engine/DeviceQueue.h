#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace vistrel {

// The actions for one open device, carried out in order on a thread of the queue's own, so that the
// window never waits on the device. A property change still waiting is replaced by a newer change of
// the same property (a drag sends only its latest value); a change never overtakes an action queued
// before it (a still triggered after changes sees them).
class DeviceQueue {
public:
    using Action = std::function<void()>;

    // Which property a change sets: its family and index.
    struct PropertyKey {
        int family = 0;
        int index = 0;
        bool operator==(const PropertyKey&) const = default;
    };

    DeviceQueue();
    ~DeviceQueue();   // drops what has not started, lets the action under way finish, joins the thread
    DeviceQueue(const DeviceQueue&) = delete;
    DeviceQueue& operator=(const DeviceQueue&) = delete;

    void ChangeProperty(PropertyKey key, Action send);
    void Post(Action action);
    // Returns once everything queued before the call has been carried out.
    void WaitUntilIdle();
    // Drops the actions that have not started (the device has gone); returns how many.
    std::size_t Discard();
    std::size_t Pending() const;

private:
    struct Entry {
        std::optional<PropertyKey> property;   // none: an action nothing may overtake or replace
        Action action;
    };
    void Run();

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::deque<Entry> pending;
    bool busy = false;
    bool stopping = false;
    std::thread worker;   // last: starts once the members above exist
};

} // namespace vistrel
