#include "capture/v4l2/DeviceRegistry.h"

namespace vistrel::v4l2 {

void DeviceRegistry::Remember(const lnx::VideoNode& node)
{
    std::lock_guard lock(mutex);
    Known& known = byNode[node.name];
    if (known.path != node.devicePath)
        known = {node.devicePath, false};
}

std::optional<DeviceChange> DeviceRegistry::Added(const lnx::VideoNode& node)
{
    std::lock_guard lock(mutex);
    Known& known = byNode[node.name];
    if (known.announced && known.path == node.devicePath)
        return std::nullopt;
    known = {node.devicePath, true}; // the node number may now belong to another device
    return DeviceChange {DBT_DEVICEARRIVAL, KSCATEGORY_CAPTURE, node.devicePath};
}

std::optional<DeviceChange> DeviceRegistry::Removed(const std::string& nodeName)
{
    std::lock_guard lock(mutex);
    const auto it = byNode.find(nodeName);
    if (it == byNode.end())
        return std::nullopt;
    DeviceChange change {DBT_DEVICEREMOVECOMPLETE, KSCATEGORY_CAPTURE, it->second.path};
    byNode.erase(it);
    return change;
}

} // namespace vistrel::v4l2
