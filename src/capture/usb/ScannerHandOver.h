#pragma once
// The choice of backend per device: a scanner goes to the usb backend when this process may write to its
// USB device node and no other program has its video node open, and otherwise stays with the video driver
// (v4l2), named with what is lost then. Other cameras always stay with the driver.
#include <functional>
#include <memory>
#include <string>

#include "capture/contract/Devices.h"
#include "capture/usb/UsbDeviceSource.h"

namespace vistrel::usb {

// What the window tells the user, once, about a scanner that stays with the video driver.
constexpr ReasonCode kScannerLeftToDriver = ReasonCode::ScannerLeftToDriver;
// The same when it stays there because another program has its video node open.
constexpr ReasonCode kScannerInUseElsewhere = ReasonCode::ScannerHeldElsewhere;

struct HandOverLayout
{
    std::string sysRoot = "/sys";
    std::string devRoot = "/dev";
    std::function<bool(const std::string& node)> writable;       // empty: NodeWritable
    std::function<bool(const std::string& busPath)> inUse;       // empty: VideoNodeOpenElsewhere under sysRoot
};

// The driver backend's devices and changes less the scanners the usb backend takes (so one scanner is
// never offered twice, and the driver's node going when the usb backend claims the device is not a
// removal); a scanner left to the driver is listed among the unusable devices with kScannerLeftToDriver.
std::shared_ptr<IDeviceSource> LeaveScannersToUsb(std::shared_ptr<IDeviceSource> driverSource, UsbClaim claim,
                                                  HandOverLayout layout = {});

} // namespace vistrel::usb
