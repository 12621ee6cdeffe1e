#include "capture/engine/DeviceQueue.h"

#if defined(_WIN32)
#include <objbase.h>
#endif

namespace vistrel {

namespace {

// The device's COM objects are free-threaded capture filters: the queue's thread joins the
// multithreaded apartment to call them.
class ApartmentForThread {
public:
    ApartmentForThread()
    {
#if defined(_WIN32)
        joined = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
#endif
    }
    ~ApartmentForThread()
    {
#if defined(_WIN32)
        if (joined)
            CoUninitialize();
#endif
    }
    ApartmentForThread(const ApartmentForThread&) = delete;
    ApartmentForThread& operator=(const ApartmentForThread&) = delete;

private:
    [[maybe_unused]] bool joined = false;
};

} // namespace

DeviceQueue::DeviceQueue()
    : worker([this] { Run(); })
{
}

DeviceQueue::~DeviceQueue()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
        pending.clear();
    }
    changed.notify_all();
    worker.join();
}

void DeviceQueue::ChangeProperty(PropertyKey key, Action send)
{
    {
        std::lock_guard lock(mutex);
        // Only changes behind the last other action may be replaced; changes of other properties
        // may be passed, since they do not depend on each other.
        for (auto entry = pending.rbegin(); entry != pending.rend() && entry->property; ++entry) {
            if (*entry->property == key) {
                entry->action = std::move(send);
                return;
            }
        }
        pending.push_back({key, std::move(send)});
    }
    changed.notify_all();
}

void DeviceQueue::Post(Action action)
{
    {
        std::lock_guard lock(mutex);
        pending.push_back({std::nullopt, std::move(action)});
    }
    changed.notify_all();
}

void DeviceQueue::WaitUntilIdle()
{
    if (std::this_thread::get_id() == worker.get_id())
        return;   // an action waiting for its own queue would never return
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return pending.empty() && !busy; });
}

std::size_t DeviceQueue::Discard()
{
    std::size_t dropped = 0;
    {
        std::lock_guard lock(mutex);
        dropped = pending.size();
        pending.clear();
    }
    changed.notify_all();
    return dropped;
}

std::size_t DeviceQueue::Pending() const
{
    std::lock_guard lock(mutex);
    return pending.size() + (busy ? 1 : 0);
}

void DeviceQueue::Run()
{
    const ApartmentForThread apartment;
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return stopping || !pending.empty(); });
        if (stopping)
            return;
        Entry next = std::move(pending.front());
        pending.pop_front();
        busy = true;
        lock.unlock();
        next.action();
        next.action = nullptr;   // what the action holds goes before the queue says it is idle
        lock.lock();
        busy = false;
        changed.notify_all();
    }
}

} // namespace vistrel
