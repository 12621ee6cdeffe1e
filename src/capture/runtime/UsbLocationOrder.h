#pragma once
// Which of several devices comes first: the one on the lowest USB bus and port chain, whatever the
// backend that found it and whatever the order in which the devices were plugged in.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/contract/Devices.h"

namespace vistrel {

// The port chain a USB device path names, as numbers: "\\?\usb#vid_8888&pid_0001&mi_00#1-2.4#{...}\global"
// gives {1, 2, 4} (bus 1, port 2, then port 4 of the hub there). nullopt for a path without one.
std::optional<std::vector<int>> UsbLocationOf(const std::string& devicePath);

// Puts devices in order of their USB location, lowest first (bus, then port by port); devices without
// one follow, in the order they had.
void SortByUsbLocation(std::vector<std::shared_ptr<IMoniker>>& devices);

} // namespace vistrel
