#pragma once
// The system's video nodes as devices: their USB identity from sysfs and the device path built from it.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "capture/contract/Guid.h"

namespace vistrel::lnx {

struct SysfsLayout
{
    std::filesystem::path sysRoot = "/sys";
    std::filesystem::path devRoot = "/dev";
};

struct UsbIdentity
{
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint8_t interfaceNumber = 0;  // the video control interface the node belongs to
    std::string busPath;               // the port chain, e.g. "1-2.4": the same port gives the same path
    std::filesystem::path deviceDir;   // the USB device's sysfs folder (descriptors, serial)
};

struct VideoNode
{
    std::string name;          // "video0"
    std::string devNode;       // "/dev/video0"
    std::string devicePath;    // the stable name the engine knows the device by
    std::string friendlyName;
    std::optional<UsbIdentity> usb;
    int openError = 0;         // why the node could not be opened (it is listed all the same), 0: it could
};

// "{65e8773d-8f56-11d0-a3b9-00a0c9223196}"
std::string GuidText(const Guid& guid);

// \\?\usb#vid_XXXX&pid_YYYY&mi_NN#<bus path>#{capture category}\global, lower-case hex.
std::string UsbDevicePath(const UsbIdentity& usb);
// Devices that are not on USB (virtual or on-board capture) keep their sysfs device name.
std::string PlatformDevicePath(const std::string& deviceName);

std::optional<UsbIdentity> ReadUsbIdentity(const SysfsLayout& layout, const std::string& name);
// None when sysfs does not know the node.
std::optional<VideoNode> DescribeVideoNode(const SysfsLayout& layout, const std::string& name);

// What opening a device node tells: whether it captures video (and is not, say, a metadata node), or
// why it could not be opened.
struct NodeProbe
{
    bool capture = false;
    int openError = 0;
};
using CaptureCheck = std::function<NodeProbe(const std::string& devNode)>;

// The node when it captures video. A node the user may not open is taken when it is the first node of
// its device (the one uvcvideo creates for the video, before the metadata node), with its open error.
std::optional<VideoNode> DescribeCaptureNode(const SysfsLayout& layout, const std::string& name,
                                             const CaptureCheck& probe);
// Every video capture node in node-number order, one per device path.
std::vector<VideoNode> ListCaptureNodes(const SysfsLayout& layout, const CaptureCheck& probe);

} // namespace vistrel::lnx
