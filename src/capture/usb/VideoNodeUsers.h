#pragma once
// Whether another program has the video driver's node of a USB device open. Taking the device from the
// driver then would end that program's picture, or its scan, under it.
#include <filesystem>
#include <string>

namespace vistrel::usb {

// True when a process other than this one holds one of the driver's video nodes for the USB device at
// busPath ("1-2.4") open. Only processes whose open files this one may see are found: its own user's, or
// every one when it runs as root. udev's brief probe of a node it has just made does not count.
bool VideoNodeOpenElsewhere(const std::string& busPath, const std::filesystem::path& sysRoot = "/sys",
                            const std::filesystem::path& procRoot = "/proc");

} // namespace vistrel::usb
