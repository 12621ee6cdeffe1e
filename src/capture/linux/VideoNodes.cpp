#include "capture/linux/VideoNodes.h"

#include "capture/linux/NodeAccess.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <limits>
#include <set>

namespace vistrel::lnx {

namespace fs = std::filesystem;

namespace {

constexpr const char* kVideoClass = "class/video4linux";
constexpr int kMaxLevelsToUsbDevice = 4;

std::optional<std::string> ReadLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    return line;
}

template <class T>
std::optional<T> ReadHex(const fs::path& file)
{
    const auto line = ReadLine(file);
    if (!line || line->empty())
        return std::nullopt;
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(line->data(), line->data() + line->size(), value, 16);
    if (ec != std::errc() || end != line->data() + line->size() || value > std::numeric_limits<T>::max())
        return std::nullopt;
    return static_cast<T>(value);
}

// The node number, for ordering video2 before video10.
long NodeNumber(const std::string& name)
{
    long number = -1;
    const auto digits = name.find_first_of("0123456789");
    if (digits != std::string::npos)
        std::from_chars(name.data() + digits, name.data() + name.size(), number);
    return number;
}

std::optional<fs::path> DeviceDir(const SysfsLayout& layout, const std::string& name)
{
    std::error_code ec;
    const fs::path dir = fs::canonical(layout.sysRoot / kVideoClass / name / "device", ec);
    if (ec)
        return std::nullopt;
    return dir;
}

} // namespace

std::string GuidText(const Guid& g)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", g.data1, g.data2, g.data3,
                  g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5], g.data4[6], g.data4[7]);
    return text;
}

std::string UsbDevicePath(const UsbIdentity& usb)
{
    char ids[40];
    std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x&mi_%02x", usb.vendorId, usb.productId, usb.interfaceNumber);
    return std::string(R"(\\?\usb#)") + ids + "#" + usb.busPath + "#" + GuidText(KSCATEGORY_CAPTURE) + R"(\global)";
}

std::string PlatformDevicePath(const std::string& deviceName)
{
    return std::string(R"(\\?\root#v4l2#)") + deviceName + "#" + GuidText(KSCATEGORY_CAPTURE) + R"(\global)";
}

std::optional<UsbIdentity> ReadUsbIdentity(const SysfsLayout& layout, const std::string& name)
{
    const auto start = DeviceDir(layout, name);
    if (!start)
        return std::nullopt;
    std::optional<std::uint8_t> interfaceNumber;
    fs::path dir = *start;
    for (int level = 0; level < kMaxLevelsToUsbDevice && dir.has_relative_path(); ++level, dir = dir.parent_path()) {
        if (!interfaceNumber)
            interfaceNumber = ReadHex<std::uint8_t>(dir / "bInterfaceNumber");
        std::error_code ec;
        if (!fs::exists(dir / "idVendor", ec))
            continue;
        // The first USB device up the tree is the one; never a hub above it.
        const auto vendor = ReadHex<std::uint16_t>(dir / "idVendor");
        const auto product = ReadHex<std::uint16_t>(dir / "idProduct");
        if (!vendor || !product || !interfaceNumber)
            return std::nullopt;
        return UsbIdentity {*vendor, *product, *interfaceNumber, dir.filename().string(), dir};
    }
    return std::nullopt;
}

std::optional<VideoNode> DescribeVideoNode(const SysfsLayout& layout, const std::string& name)
{
    std::error_code ec;
    if (!fs::exists(layout.sysRoot / kVideoClass / name, ec))
        return std::nullopt;
    VideoNode node;
    node.name = name;
    node.devNode = (layout.devRoot / name).string();
    node.usb = ReadUsbIdentity(layout, name);
    if (node.usb) {
        node.devicePath = UsbDevicePath(*node.usb);
    } else {
        const auto dir = DeviceDir(layout, name);
        node.devicePath = PlatformDevicePath(dir ? dir->filename().string() : name);
    }
    node.friendlyName = ReadLine(layout.sysRoot / kVideoClass / name / "name").value_or("");
    if (node.friendlyName.empty())
        node.friendlyName = name;
    return node;
}

std::optional<VideoNode> DescribeCaptureNode(const SysfsLayout& layout, const std::string& name,
                                             const CaptureCheck& probe)
{
    auto node = DescribeVideoNode(layout, name);
    if (!node)
        return std::nullopt;
    const NodeProbe result = probe(node->devNode);
    if (result.capture)
        return node;
    const bool firstOfItsDevice = ReadLine(layout.sysRoot / kVideoClass / name / "index") == "0";
    if (!IsAccessDenied(result.openError) || !firstOfItsDevice)
        return std::nullopt;
    node->openError = result.openError;
    return node;
}

std::vector<VideoNode> ListCaptureNodes(const SysfsLayout& layout, const CaptureCheck& probe)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(layout.sysRoot / kVideoClass, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("video"))
            names.push_back(name);
    }
    std::ranges::sort(names, [](const std::string& a, const std::string& b) {
        return std::pair(NodeNumber(a), a) < std::pair(NodeNumber(b), b);
    });
    std::vector<VideoNode> nodes;
    std::set<std::string> paths;
    for (const std::string& name : names) {
        auto node = DescribeCaptureNode(layout, name, probe);
        if (node && paths.insert(node->devicePath).second)
            nodes.push_back(std::move(*node));
    }
    return nodes;
}

} // namespace vistrel::lnx
