#pragma once
// The devices a backend's last enumeration could not use, kept for the window to read on any thread.
#include <mutex>
#include <vector>

#include "capture/contract/Devices.h"

namespace vistrel {

class UnusableDeviceList {
public:
    void Replace(std::vector<UnusableDevice> devices)
    {
        std::lock_guard lock(mutex);
        list = std::move(devices);
    }
    std::vector<UnusableDevice> Get() const
    {
        std::lock_guard lock(mutex);
        return list;
    }

private:
    mutable std::mutex mutex;
    std::vector<UnusableDevice> list;
};

} // namespace vistrel
