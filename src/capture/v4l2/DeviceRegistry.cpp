#include "capture/v4l2/DeviceRegistry.h"

namespace vistrel::v4l2 {

void DeviceRegistry::Remember(const VideoNode& node)
{
    std::lock_guard lock(mutex);
    pathByNode[node.name] = node.devicePath;
}

std::optional<DeviceChange> DeviceRegistry::Added(const VideoNode& node)
{
    std::lock_guard lock(mutex);
    auto [it, inserted] = pathByNode.try_emplace(node.name, node.devicePath);
    if (!inserted) {
        if (it->second == node.devicePath)
            return std::nullopt;
        it->second = node.devicePath; // the node number now belongs to another device
    }
    return DeviceChange {DBT_DEVICEARRIVAL, KSCATEGORY_CAPTURE, node.devicePath};
}

std::optional<DeviceChange> DeviceRegistry::Removed(const std::string& nodeName)
{
    std::lock_guard lock(mutex);
    const auto it = pathByNode.find(nodeName);
    if (it == pathByNode.end())
        return std::nullopt;
    DeviceChange change {DBT_DEVICEREMOVECOMPLETE, KSCATEGORY_CAPTURE, it->second};
    pathByNode.erase(it);
    return change;
}

} // namespace vistrel::v4l2
