// How the usb backend names a device: bus path, usbfs node, device path, and the scanner found in sysfs.
#include <gtest/gtest.h>

#include <vector>

#include "support/SysfsTree.h"
#include "capture/usb/UsbDeviceNames.h"
#include "capture/linux/VideoNodes.h"

namespace vistrel::usb {
namespace {

TEST(DeviceNames, BusPathFollowsThePortChain)
{
    struct Case
    {
        std::uint8_t bus;
        std::vector<std::uint8_t> ports;
        const char* path;
    };
    const Case cases[] = {{1, {2}, "1-2"}, {3, {1, 4, 2}, "3-1.4.2"}, {12, {10}, "12-10"}};
    for (const Case& c : cases)
        EXPECT_EQ(BusPath(c.bus, c.ports), c.path);
}

TEST(DeviceNames, NodeIsNamedByBusAndAddressWithThreeDigits)
{
    EXPECT_EQ(NodePath(1, 4), "/dev/bus/usb/001/004");
    EXPECT_EQ(NodePath(12, 127, "/tmp/dev"), "/tmp/dev/bus/usb/012/127");
}

TEST(DeviceNames, TheBusPathComesBackOutOfEitherBackendsPath)
{
    const std::string usbPath = UsbBackendDevicePath(0x8888, 0x0001, 0, "1-2.4");
    EXPECT_EQ(usbPath, "\\\\?\\usb#vid_8888&pid_0001&mi_00#1-2.4#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\libusb");
    lnx::UsbIdentity identity;
    identity.vendorId = 0x8888;
    identity.productId = 0x0001;
    identity.busPath = "1-2.4";
    const std::string driverPath = lnx::UsbDevicePath(identity);
    EXPECT_NE(driverPath, usbPath) << "the driver's node and the usb backend's device must not share a name";

    struct Case
    {
        std::string path;
        std::optional<std::string> bus;
    };
    const Case cases[] = {
        {usbPath, "1-2.4"},
        {driverPath, "1-2.4"},
        {lnx::PlatformDevicePath("platform-vivid.0"), std::nullopt},
        {"\\\\?\\usb#vid_8888&pid_0001", std::nullopt},
        {"\\\\?\\usb#vid_8888&pid_0001&mi_00##{65e8773d}", std::nullopt},
        {"sim#scanner#1", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BusPathOfDevicePath(c.path), c.bus) << c.path;
}

TEST(DeviceNames, TheScannerIsFoundInSysfsByItsIdentity)
{
    test::SysfsTree sysfs;
    sysfs.AddDevice("1-2", "8888", "0001", 1, 5);
    sysfs.AddDevice("1-3", "046d", "0825", 1, 6);
    sysfs.AddDevice("2-1", "8888", "0001", 2, 9);
    std::filesystem::remove(sysfs.Device("2-1") / "devnum");
    const auto root = sysfs.SysRoot();

    EXPECT_EQ(ScannerNodeAt("1-2", root, "/dev"), "/dev/bus/usb/001/005");
    EXPECT_EQ(ScannerNodeAt("1-3", root, "/dev"), std::nullopt) << "another vendor's camera";
    EXPECT_EQ(ScannerNodeAt("2-1", root, "/dev"), std::nullopt) << "an address sysfs does not give";
    EXPECT_EQ(ScannerNodeAt("1-9", root, "/dev"), std::nullopt) << "nothing there";
    EXPECT_EQ(ScannerNodeAt("../devices/1-2", root, "/dev"), std::nullopt) << "a path that leaves the folder";
    EXPECT_EQ(ScannerNodeAt("", root, "/dev"), std::nullopt);
}

} // namespace
} // namespace vistrel::usb
