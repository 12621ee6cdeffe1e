#include "capture/v4l2/V4l2DeviceSource.h"

#include <mutex>

#include "capture/runtime/UnusableDeviceList.h"
#include "capture/v4l2/DeviceRegistry.h"
#include "capture/linux/NodeAccess.h"
#include "capture/v4l2/UdevMonitor.h"
#include "capture/v4l2/V4l2Moniker.h"
#include "capture/v4l2/V4l2Node.h"

namespace vistrel {

namespace {

using namespace v4l2;

class V4l2DeviceSource final : public IDeviceSource
{
public:
    void AppendVideoInputDevices(std::vector<std::shared_ptr<IMoniker>>* devices) override
    {
        if (!devices)
            return;
        std::vector<UnusableDevice> found;
        for (lnx::VideoNode& node : lnx::ListCaptureNodes(layout, ProbeNode)) {
            registry.Remember(node);
            if (node.openError)
                found.push_back({node.devicePath, lnx::OpenFailureReason(node.devNode, node.openError)});
            devices->push_back(std::make_shared<V4l2Moniker>(std::move(node)));
        }
        unusable.Replace(std::move(found));
    }

    std::vector<UnusableDevice> UnusableDevices() override { return unusable.Get(); }

    void SetChangeSink(std::function<void(const DeviceChange&)> newSink) override
    {
        {
            std::lock_guard lock(sinkMutex);
            sink = std::move(newSink);
        }
        std::lock_guard lock(monitorMutex);
        if (!monitor)
            monitor = std::make_unique<UdevMonitor>([this](const UdevEvent& event) { OnUdevEvent(event); });
    }

private:
    // On the monitor's thread.
    void OnUdevEvent(const UdevEvent& event)
    {
        std::optional<DeviceChange> change;
        if (event.action == "add") {
            if (const auto node = lnx::DescribeCaptureNode(layout, event.nodeName, ProbeNode))
                change = registry.Added(*node);
        } else if (event.action == "remove") {
            change = registry.Removed(event.nodeName);
        }
        if (!change)
            return;
        std::function<void(const DeviceChange&)> deliver;
        {
            std::lock_guard lock(sinkMutex);
            deliver = sink;
        }
        if (deliver)
            deliver(*change);
    }

    const lnx::SysfsLayout layout {};
    DeviceRegistry registry;
    UnusableDeviceList unusable; // from the last enumeration
    std::mutex sinkMutex;
    std::function<void(const DeviceChange&)> sink;
    std::mutex monitorMutex;
    std::unique_ptr<UdevMonitor> monitor; // last: its thread ends before the rest goes
};

} // namespace

std::shared_ptr<IDeviceSource> MakeV4l2DeviceSource()
{
    return std::make_shared<V4l2DeviceSource>();
}

} // namespace vistrel
