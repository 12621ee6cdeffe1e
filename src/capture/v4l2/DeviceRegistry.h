#pragma once
// The capture nodes seen so far, so that a removal (when sysfs has already forgotten the device) is
// reported under the same device path as the arrival.
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "capture/contract/Devices.h"
#include "capture/v4l2/VideoNodes.h"

namespace vistrel::v4l2 {

class DeviceRegistry
{
public:
    // From an enumeration: known from now on, nothing to report.
    void Remember(const VideoNode& node);
    // An arrival to report, unless the node is already known under the same path.
    std::optional<DeviceChange> Added(const VideoNode& node);
    // A removal to report when the node was known.
    std::optional<DeviceChange> Removed(const std::string& nodeName);

private:
    std::mutex mutex;
    std::map<std::string, std::string> pathByNode;
};

} // namespace vistrel::v4l2
