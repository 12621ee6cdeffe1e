#pragma once
// The scanner through libusb, UVC done in user space: the devices of the scanner's vendor and product
// that this process may open for writing, watched by libusb's hot-plug.
#include <memory>

#include "capture/contract/Devices.h"

namespace vistrel {

enum class UsbClaim {
    WhenWritable, // only scanners whose usbfs node opens for writing (the others stay with the driver)
    Always,       // every scanner; one that cannot be opened is listed with the reason (for diagnosis)
};

// Null when libusb cannot start here.
std::shared_ptr<IDeviceSource> MakeUsbDeviceSource(UsbClaim claim = UsbClaim::WhenWritable);

} // namespace vistrel
