#pragma once
// The Linux backend for real video devices: V4L2 capture nodes, found through sysfs, watched through udev.
#include <memory>

#include "capture/contract/Devices.h"

namespace vistrel {

std::shared_ptr<IDeviceSource> MakeV4l2DeviceSource();

} // namespace vistrel
