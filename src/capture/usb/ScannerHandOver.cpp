#include "capture/usb/ScannerHandOver.h"

#include <algorithm>
#include <iterator>

#include "capture/runtime/UnusableDeviceList.h"
#include "capture/usb/UsbDeviceNames.h"
#include "capture/usb/VideoNodeUsers.h"

namespace vistrel::usb {

namespace {

std::string DevicePathOf(IMoniker& moniker)
{
    std::shared_ptr<IPropertyBag> bag;
    std::string path;
    if (Failed(moniker.BindToStorage(&bag)) || !bag || Failed(bag->Read("DevicePath", &path)))
        return {};
    return path;
}

enum class Choice { Driver, DriverForScanner, DriverWhileInUse, Usb };

// A device the driver offers, by its path: a scanner at a bus path that sysfs still knows goes to the usb
// backend when the usb backend may take it.
Choice Choose(const std::string& devicePath, UsbClaim claim, const HandOverLayout& layout)
{
    const auto busPath = BusPathOfDevicePath(devicePath);
    if (!busPath)
        return Choice::Driver;
    const auto node = ScannerNodeAt(*busPath, layout.sysRoot, layout.devRoot);
    if (!node)
        return Choice::Driver;
    if (layout.inUse(*busPath))
        return Choice::DriverWhileInUse;
    return claim == UsbClaim::Always || layout.writable(*node) ? Choice::Usb : Choice::DriverForScanner;
}

class HandOverSource final : public IDeviceSource
{
public:
    HandOverSource(std::shared_ptr<IDeviceSource> driver, UsbClaim claim, HandOverLayout layout)
        : driver(std::move(driver)), claim(claim), layout(std::move(layout))
    {
        if (!this->layout.writable)
            this->layout.writable = NodeWritable;
        if (!this->layout.inUse)
            this->layout.inUse = [sysRoot = this->layout.sysRoot](const std::string& busPath) {
                return VideoNodeOpenElsewhere(busPath, sysRoot);
            };
    }

    void AppendVideoInputDevices(std::vector<std::shared_ptr<IMoniker>>* devices) override
    {
        if (!devices)
            return;
        std::vector<std::shared_ptr<IMoniker>> offered;
        driver->AppendVideoInputDevices(&offered);
        std::vector<UnusableDevice> left;
        for (auto& moniker : offered) {
            const std::string path = DevicePathOf(*moniker);
            switch (Choose(path, claim, layout)) {
            case Choice::Usb:
                continue;
            case Choice::DriverForScanner:
                left.push_back({path, Reason(kScannerLeftToDriver, path)});
                break;
            case Choice::DriverWhileInUse:
                left.push_back({path, Reason(kScannerInUseElsewhere, path)});
                break;
            case Choice::Driver:
                break;
            }
            devices->push_back(std::move(moniker));
        }
        leftToDriver.Replace(std::move(left));
    }

    std::vector<UnusableDevice> UnusableDevices() override
    {
        std::vector<UnusableDevice> all = driver->UnusableDevices();
        std::ranges::move(leftToDriver.Get(), std::back_inserter(all));
        return all;
    }

    void SetChangeSink(std::function<void(const DeviceChange&)> sink) override
    {
        if (!sink) {
            driver->SetChangeSink({});
            return;
        }
        // Called on the driver's thread, possibly while this object goes: it holds copies only.
        driver->SetChangeSink([claim = claim, layout = layout, sink = std::move(sink)](const DeviceChange& change) {
            if (Choose(change.name, claim, layout) != Choice::Usb)
                sink(change);
        });
    }

private:
    const std::shared_ptr<IDeviceSource> driver;
    const UsbClaim claim;
    HandOverLayout layout;
    UnusableDeviceList leftToDriver; // from the last enumeration
};

} // namespace

std::shared_ptr<IDeviceSource> LeaveScannersToUsb(std::shared_ptr<IDeviceSource> driverSource, UsbClaim claim,
                                                  HandOverLayout layout)
{
    if (!driverSource)
        return nullptr;
    return std::make_shared<HandOverSource>(std::move(driverSource), claim, std::move(layout));
}

} // namespace vistrel::usb
