#include "capture/usb/UsbDeviceSource.h"

#include <libusb.h>

#include <map>
#include <mutex>
#include <optional>

#include "capture/contract/Diagnostics.h"
#include "capture/runtime/UnusableDeviceList.h"
#include "capture/usb/UsbContext.h"
#include "capture/usb/UsbDeviceNames.h"
#include "capture/usb/UsbMoniker.h"

namespace vistrel {

namespace {

using namespace usb;

bool IsScanner(libusb_device* device)
{
    libusb_device_descriptor descriptor {};
    return libusb_get_device_descriptor(device, &descriptor) == LIBUSB_SUCCESS &&
           descriptor.idVendor == kScannerVendorId && descriptor.idProduct == kScannerProductId;
}

// A scanner whose video node another program holds stays with the driver, forced or not: taking it
// would cut that program off.
bool Takes(const UsbScannerEntry& entry, UsbClaim claim)
{
    if (entry.inUseElsewhere)
        Diagnose(DiagnosticTopic::Devices, entry.devicePath + ": another program has its video node open; it "
                                                               "stays with the video driver");
    return !entry.inUseElsewhere && (entry.writable || claim == UsbClaim::Always);
}

// Arrivals and removals as libusb's hot-plug reports them. Shared with the event thread's callback, so
// it lives as long as the context, whatever becomes of the source.
class HotplugWatch
{
public:
    explicit HotplugWatch(UsbClaim claim) : claim(claim) {}

    void SetSink(std::function<void(const DeviceChange&)> newSink)
    {
        std::lock_guard lock(mutex);
        sink = std::move(newSink);
    }

    // On the event thread. A removal goes out under the name of the arrival. Describing a device reads
    // sysfs and every process's open files, so it is done outside the lock that SetSink takes.
    void OnHotplug(libusb_device* device, bool arrived)
    {
        DeviceChange change {arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE, KSCATEGORY_CAPTURE, {}};
        std::function<void(const DeviceChange&)> deliver;
        if (arrived) {
            const UsbScannerEntry entry = DescribeScanner(device);
            if (!Takes(entry, claim))
                return; // the video driver keeps it, and the other backend reports it
            change.name = entry.devicePath;
            std::lock_guard lock(mutex);
            known[device] = entry.devicePath;
            deliver = sink;
        } else {
            std::optional<std::string> name;
            {
                std::lock_guard lock(mutex);
                if (const auto it = known.find(device); it != known.end()) {
                    name = it->second;
                    known.erase(it);
                }
            }
            change.name = name ? *name : DescribeScanner(device).devicePath;
            std::lock_guard lock(mutex);
            deliver = sink;
        }
        if (deliver)
            deliver(change);
    }

private:
    const UsbClaim claim;
    std::mutex mutex;
    std::function<void(const DeviceChange&)> sink;
    std::map<libusb_device*, std::string> known; // keys are only compared, never followed
};

class UsbDeviceSource final : public IDeviceSource
{
public:
    UsbDeviceSource(std::shared_ptr<UsbContext> context, UsbClaim claim)
        : context(std::move(context)), claim(claim), watch(std::make_shared<HotplugWatch>(claim))
    {
    }

    ~UsbDeviceSource() override { watch->SetSink({}); }

    void AppendVideoInputDevices(std::vector<std::shared_ptr<IMoniker>>* devices) override
    {
        if (!devices)
            return;
        std::vector<UnusableDevice> found;
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context->Get(), &list);
        for (ssize_t i = 0; i < count; ++i) {
            if (!IsScanner(list[i]))
                continue;
            UsbScannerEntry entry = DescribeScanner(list[i]);
            if (!Takes(entry, claim))
                continue;
            if (!entry.writable)
                found.push_back({entry.devicePath, Reason(ReasonCode::UsbNodeNotWritable, entry.nodePath)});
            devices->push_back(std::make_shared<UsbMoniker>(context, list[i], std::move(entry)));
        }
        if (list)
            libusb_free_device_list(list, 1);
        unusable.Replace(std::move(found));
    }

    std::vector<UnusableDevice> UnusableDevices() override { return unusable.Get(); }

    void SetChangeSink(std::function<void(const DeviceChange&)> newSink) override
    {
        watch->SetSink(std::move(newSink));
        std::call_once(watching, [this] {
            context->WatchHotplug(kScannerVendorId, kScannerProductId,
                                  [watch = watch](libusb_device* device, bool arrived) {
                                      watch->OnHotplug(device, arrived);
                                  });
        });
    }

private:
    const std::shared_ptr<UsbContext> context;
    const UsbClaim claim;
    const std::shared_ptr<HotplugWatch> watch;
    UnusableDeviceList unusable; // from the last enumeration
    std::once_flag watching;
};

} // namespace

std::shared_ptr<IDeviceSource> MakeUsbDeviceSource(UsbClaim claim)
{
    auto context = UsbContext::Create();
    if (!context)
        return nullptr;
    return std::make_shared<UsbDeviceSource>(std::move(context), claim);
}

} // namespace vistrel
