#pragma once
// A throw-away sysfs tree with USB devices in it, as the backend reads one.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace vistrel::usb::test {

class SysfsTree
{
public:
    SysfsTree()
    {
        char pattern[] = "/tmp/vistrel-usb-sysfs-XXXXXX";
        root = ::mkdtemp(pattern);
    }
    ~SysfsTree()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    SysfsTree(const SysfsTree&) = delete;
    SysfsTree& operator=(const SysfsTree&) = delete;

    // A USB device at busPath ("1-2.4") with the given identity and bus address.
    void AddDevice(const std::string& busPath, const std::string& vendor, const std::string& product, int bus,
                   int address)
    {
        const auto folder = Device(busPath);
        std::filesystem::create_directories(folder);
        Write(folder / "idVendor", vendor);
        Write(folder / "idProduct", product);
        Write(folder / "busnum", std::to_string(bus));
        Write(folder / "devnum", std::to_string(address));
    }
    // The video driver's node on the device's first interface, listed in the video4linux class as sysfs
    // lists it, with its device number.
    void AddVideoNode(const std::string& busPath, const std::string& node, unsigned major, unsigned minor)
    {
        const auto interface = Device(busPath) / (busPath + ":1.0");
        std::filesystem::create_directories(interface);
        Write(interface / "bInterfaceNumber", "00");
        const auto entry = root / "class/video4linux" / node;
        std::filesystem::create_directories(entry);
        std::filesystem::create_directory_symlink(interface, entry / "device");
        Write(entry / "dev", std::to_string(major) + ":" + std::to_string(minor));
    }
    void RemoveDevice(const std::string& busPath) { std::filesystem::remove_all(Device(busPath)); }
    std::filesystem::path Device(const std::string& busPath) const { return root / "bus/usb/devices" / busPath; }

    const std::filesystem::path& Root() const { return root; }

private:
    static void Write(const std::filesystem::path& file, const std::string& text) { std::ofstream(file) << text << "\n"; }

    std::filesystem::path root;
};

} // namespace vistrel::usb::test
