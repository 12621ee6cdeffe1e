#include "capture/usb/UsbDeviceNames.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "capture/contract/Guid.h"
#include "capture/linux/VideoNodes.h"

namespace vistrel::usb {

namespace {

constexpr char kPathStart[] = "\\\\?\\usb#";

std::optional<unsigned> ReadNumber(const std::filesystem::path& file, int base)
{
    std::ifstream in(file);
    std::string text;
    if (!(in >> text))
        return std::nullopt;
    try {
        return static_cast<unsigned>(std::stoul(text, nullptr, base));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

std::string BusPath(std::uint8_t bus, std::span<const std::uint8_t> ports)
{
    std::string path = std::to_string(bus);
    char separator = '-';
    for (const std::uint8_t port : ports) {
        path += separator;
        path += std::to_string(port);
        separator = '.';
    }
    return path;
}

std::string NodePath(std::uint8_t bus, std::uint8_t address, const std::filesystem::path& devRoot)
{
    char tail[32];
    std::snprintf(tail, sizeof tail, "bus/usb/%03u/%03u", unsigned {bus}, unsigned {address});
    return (devRoot / tail).string();
}

std::string UsbBackendDevicePath(std::uint16_t vendorId, std::uint16_t productId, std::uint8_t controlInterface,
                                 const std::string& busPath)
{
    char identity[40];
    std::snprintf(identity, sizeof identity, "vid_%04x&pid_%04x&mi_%02x", unsigned {vendorId}, unsigned {productId},
                  unsigned {controlInterface});
    return std::string(kPathStart) + identity + "#" + busPath + "#" + lnx::GuidText(KSCATEGORY_CAPTURE) +
           "\\libusb";
}

std::optional<std::string> BusPathOfDevicePath(const std::string& devicePath)
{
    if (devicePath.rfind(kPathStart, 0) != 0)
        return std::nullopt;
    const std::size_t first = devicePath.find('#');
    const std::size_t start = devicePath.find('#', first + 1);
    if (start == std::string::npos)
        return std::nullopt;
    const std::size_t end = devicePath.find('#', start + 1);
    if (end == std::string::npos || end == start + 1)
        return std::nullopt;
    return devicePath.substr(start + 1, end - start - 1);
}

bool NodeWritable(const std::string& nodePath)
{
    const int fd = ::open(nodePath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::optional<std::string> ScannerNodeAt(const std::string& busPath, const std::filesystem::path& sysRoot,
                                         const std::filesystem::path& devRoot)
{
    // A bus path names a folder of its own; anything with a separator in it is not one.
    if (busPath.empty() || busPath.find('/') != std::string::npos || busPath.find("..") != std::string::npos)
        return std::nullopt;
    const auto device = sysRoot / "bus/usb/devices" / busPath;
    const auto vendor = ReadNumber(device / "idVendor", 16);
    const auto product = ReadNumber(device / "idProduct", 16);
    const auto bus = ReadNumber(device / "busnum", 10);
    const auto address = ReadNumber(device / "devnum", 10);
    if (!vendor || !product || !bus || !address || *vendor != kScannerVendorId || *product != kScannerProductId)
        return std::nullopt;
    return NodePath(static_cast<std::uint8_t>(*bus), static_cast<std::uint8_t>(*address), devRoot);
}

} // namespace vistrel::usb
