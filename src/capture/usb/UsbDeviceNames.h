#pragma once
// How the backend names a USB device: its port chain, its usbfs node and the device path the engine
// knows it by.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace vistrel::usb {

constexpr std::uint16_t kScannerVendorId = 0x8888;
constexpr std::uint16_t kScannerProductId = 0x0001;

// "1-2.4": bus 1, port 2, then port 4 of the hub there (as sysfs names the device).
std::string BusPath(std::uint8_t bus, std::span<const std::uint8_t> ports);
// "/dev/bus/usb/001/004" under devRoot.
std::string NodePath(std::uint8_t bus, std::uint8_t address,
                     const std::filesystem::path& devRoot = "/dev");

// \\?\usb#vid_XXXX&pid_YYYY&mi_NN#<bus path>#{capture category}\libusb: the V4L2 backend's form with
// another reference string, so that the driver's node and this backend's device never share a name.
std::string UsbBackendDevicePath(std::uint16_t vendorId, std::uint16_t productId, std::uint8_t controlInterface,
                                 const std::string& busPath);
// The bus path inside either backend's USB device path; none for other paths.
std::optional<std::string> BusPathOfDevicePath(const std::string& devicePath);

// True when this process may open the node for writing, which usbfs needs for every request.
bool NodeWritable(const std::string& nodePath);

// The usbfs node of the scanner at a bus path, from sysfs; none when no scanner is there.
std::optional<std::string> ScannerNodeAt(const std::string& busPath,
                                         const std::filesystem::path& sysRoot = "/sys",
                                         const std::filesystem::path& devRoot = "/dev");

} // namespace vistrel::usb
