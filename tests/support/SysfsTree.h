#pragma once
// A throw-away sysfs laid out as the kernel lays it out: USB devices under /sys/devices with their
// links in /sys/bus/usb/devices, interfaces below them, and video nodes below an interface with their
// links in /sys/class/video4linux. Beside it an empty /dev. Both go when the tree does.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace vistrel::test {

class SysfsTree
{
public:
    SysfsTree()
    {
        char pattern[] = "/tmp/vistrel-sysfs-XXXXXX";
        if (const char* made = ::mkdtemp(pattern))
            root = made;
        std::filesystem::create_directories(SysRoot() / "bus/usb/devices");
        std::filesystem::create_directories(SysRoot() / "class/video4linux");
        std::filesystem::create_directories(DevRoot());
    }
    ~SysfsTree()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    SysfsTree(const SysfsTree&) = delete;
    SysfsTree& operator=(const SysfsTree&) = delete;

    std::filesystem::path Root() const { return root; }
    std::filesystem::path SysRoot() const { return root / "sys"; }
    std::filesystem::path DevRoot() const { return root / "dev"; }

    // A USB device at busPath ("1-2.4") on a host controller, with its identity and bus address;
    // answers its folder.
    std::filesystem::path AddDevice(const std::string& busPath, const std::string& vendor, const std::string& product,
                                    int bus = 1, int address = 1)
    {
        const auto folder = SysRoot() / "devices/pci0000:00/0000:00:14.0" / ("usb" + std::to_string(bus)) / busPath;
        Write(folder / "idVendor", vendor + "\n");
        Write(folder / "idProduct", product + "\n");
        Write(folder / "busnum", std::to_string(bus) + "\n");
        Write(folder / "devnum", std::to_string(address) + "\n");
        std::filesystem::create_directory_symlink(folder, Device(busPath));
        return folder;
    }
    // The device's link in /sys/bus/usb/devices.
    std::filesystem::path Device(const std::string& busPath) const { return SysRoot() / "bus/usb/devices" / busPath; }
    // Unplugged: the device, its link and the links of its video nodes go.
    void RemoveDevice(const std::string& busPath)
    {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::canonical(Device(busPath), ignored), ignored);
        std::filesystem::remove(Device(busPath), ignored);
        for (const auto& entry : std::filesystem::directory_iterator(SysRoot() / "class/video4linux"))
            if (!std::filesystem::exists(entry.path()))
                std::filesystem::remove(entry.path(), ignored);
    }

    // A video node on interface <busPath>:1.<interfaceNumber> of a USB device folder.
    void AddVideoNode(const std::filesystem::path& usbDevice, int interfaceNumber, const std::string& name,
                      const std::string& card)
    {
        const auto interface = usbDevice / (usbDevice.filename().string() + ":1." + std::to_string(interfaceNumber));
        char number[8];
        std::snprintf(number, sizeof number, "%02x\n", interfaceNumber);
        Write(interface / "bInterfaceNumber", number);
        LinkNode(interface, name, card);
    }
    // A video node below any device folder (an interface, or a platform device), with its class link.
    void LinkNode(const std::filesystem::path& deviceDir, const std::string& name, const std::string& card)
    {
        const auto nodeDir = deviceDir / "video4linux" / name;
        Write(nodeDir / "name", card + "\n");
        std::filesystem::create_directory_symlink("../../../" + deviceDir.filename().string(), nodeDir / "device");
        std::filesystem::create_directory_symlink(nodeDir, SysRoot() / "class/video4linux" / name);
    }
    // The node's device number, as its "dev" file gives it.
    void SetNodeNumber(const std::string& name, unsigned major, unsigned minor)
    {
        Write(SysRoot() / "class/video4linux" / name / "dev", std::to_string(major) + ":" + std::to_string(minor) + "\n");
    }

    static void Write(const std::filesystem::path& file, const std::string& text)
    {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }

private:
    std::filesystem::path root;
};

} // namespace vistrel::test
