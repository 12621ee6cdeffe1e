#pragma once
// The capture nodes seen so far, so that a removal (when sysfs has already forgotten the device) is
// reported under the same device path as the arrival.
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "capture/contract/Devices.h"
#include "capture/linux/VideoNodes.h"

namespace vistrel::v4l2 {

class DeviceRegistry
{
public:
    // From an enumeration: known from now on, nothing to report.
    void Remember(const lnx::VideoNode& node);
    // An arrival to report, unless udev has already announced the node under the same path. One that
    // an enumeration has listed is still reported: that enumeration may have come too early to use the
    // device (udev had not yet given the node its permissions, the unit was not ready), and the arrival
    // is what makes the window look again.
    std::optional<DeviceChange> Added(const lnx::VideoNode& node);
    // A removal to report when the node was known.
    std::optional<DeviceChange> Removed(const std::string& nodeName);

private:
    std::mutex mutex;
    struct Known
    {
        std::string path;
        bool announced = false; // udev has reported its arrival
    };
    std::map<std::string, Known> byNode;
};

} // namespace vistrel::v4l2
