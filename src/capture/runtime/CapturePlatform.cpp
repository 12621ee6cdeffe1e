#include "capture/runtime/CapturePlatform.h"

#include <algorithm>
#include <iterator>
#include <mutex>

#include "capture/runtime/CaptureGraphBuilder.h"
#include "capture/runtime/FilterGraph.h"
#include "capture/runtime/NullRenderer.h"
#include "capture/runtime/SampleGrabber.h"
#include "capture/runtime/UsbLocationOrder.h"

namespace vistrel {

namespace {

// Fans device changes out to the registered callbacks of the matching interface class.
class NotificationHub : public IDeviceNotifications {
public:
    DeviceNotificationHandle Register(const Guid& interfaceClass,
                                      std::function<void(const DeviceChange&)> callback) override
    {
        if (!callback)
            return 0;
        std::lock_guard lock(mutex);
        const DeviceNotificationHandle handle = ++lastHandle;
        entries.push_back({handle, interfaceClass, std::move(callback)});
        return handle;
    }

    // Once this returns the callback is not running and will not be called again (unless it is the
    // caller itself, unregistering from inside its own call).
    void Unregister(DeviceNotificationHandle handle) override
    {
        std::lock_guard dispatching(dispatchMutex);
        std::lock_guard lock(mutex);
        std::erase_if(entries, [handle](const Entry& e) { return e.handle == handle; });
    }

    void Dispatch(const DeviceChange& change)
    {
        std::lock_guard dispatching(dispatchMutex);
        std::vector<Entry> targets;
        {
            std::lock_guard lock(mutex);
            targets = entries;
        }
        for (const auto& entry : targets) {
            {
                std::lock_guard lock(mutex);
                const bool stillRegistered = std::any_of(entries.begin(), entries.end(),
                                                         [&](const Entry& e) { return e.handle == entry.handle; });
                if (!stillRegistered)
                    continue;
            }
            if (entry.interfaceClass == change.interfaceClass)
                entry.callback(change);
        }
    }

private:
    struct Entry {
        DeviceNotificationHandle handle;
        Guid interfaceClass;
        std::function<void(const DeviceChange&)> callback;
    };
    std::recursive_mutex dispatchMutex;
    std::mutex mutex;
    std::vector<Entry> entries;
    DeviceNotificationHandle lastHandle = 0;
};

class DeviceEnumerator : public ICreateDevEnum {
public:
    explicit DeviceEnumerator(std::vector<std::shared_ptr<IDeviceSource>> sources) : sources(std::move(sources)) {}

    HRESULT CreateClassEnumerator(const Guid& category, std::vector<std::shared_ptr<IMoniker>>* devices) override
    {
        if (!devices)
            return E_POINTER;
        devices->clear();
        if (category == CLSID_VideoInputDeviceCategory) {
            for (const auto& source : sources)
                source->AppendVideoInputDevices(devices);
            // The first scanner found is the one used: the same one whichever backend and plug order.
            SortByUsbLocation(*devices);
        }
        return devices->empty() ? S_FALSE : S_OK;
    }

private:
    std::vector<std::shared_ptr<IDeviceSource>> sources;
};

class CapturePlatform : public ICapturePlatform {
public:
    explicit CapturePlatform(std::vector<std::shared_ptr<IDeviceSource>> sources)
        : sources(std::move(sources)), hub(std::make_shared<NotificationHub>())
    {
        std::erase(this->sources, nullptr);
        for (const auto& source : this->sources)
            source->SetChangeSink([hub = hub](const DeviceChange& change) { hub->Dispatch(change); });
    }

    ~CapturePlatform() override
    {
        for (const auto& source : sources)
            source->SetChangeSink({});
    }

    HRESULT CreateDeviceEnumerator(std::shared_ptr<ICreateDevEnum>* enumerator) override
    {
        if (!enumerator)
            return E_POINTER;
        *enumerator = std::make_shared<DeviceEnumerator>(sources);
        return S_OK;
    }

    HRESULT CreateCaptureGraphBuilder(std::shared_ptr<ICaptureGraphBuilder2>* builder) override
    {
        if (!builder)
            return E_POINTER;
        *builder = std::make_shared<CaptureGraphBuilder>();
        return S_OK;
    }

    HRESULT CreateFilterGraph(std::shared_ptr<IGraphBuilder>* graph) override
    {
        if (!graph)
            return E_POINTER;
        *graph = FilterGraph::Create();
        return S_OK;
    }

    HRESULT CreateSampleGrabber(std::shared_ptr<ISampleGrabber>* grabber) override
    {
        if (!grabber)
            return E_POINTER;
        *grabber = SampleGrabber::Create();
        return S_OK;
    }

    HRESULT CreateNullRenderer(std::shared_ptr<IBaseFilter>* renderer) override
    {
        if (!renderer)
            return E_POINTER;
        *renderer = NullRenderer::Create();
        return S_OK;
    }

    IDeviceNotifications& DeviceNotifications() override { return *hub; }

    std::vector<UnusableDevice> UnusableDevices() override
    {
        std::vector<UnusableDevice> all;
        for (const auto& source : sources)
            std::ranges::move(source->UnusableDevices(), std::back_inserter(all));
        return all;
    }

private:
    std::vector<std::shared_ptr<IDeviceSource>> sources;
    std::shared_ptr<NotificationHub> hub;
};

} // namespace

std::shared_ptr<ICapturePlatform> MakeCapturePlatform(std::vector<std::shared_ptr<IDeviceSource>> sources)
{
    return std::make_shared<CapturePlatform>(std::move(sources));
}

} // namespace vistrel
