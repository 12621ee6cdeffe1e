#pragma once
// Attaching a device to vhci-hcd: a free root-hub port of the device's speed from the status file, and
// "port fd devid speed" written to attach; the port written to detach unplugs it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vistrel::uvcemu {

constexpr const char* kVhciDirectory = "/sys/devices/platform/vhci_hcd.0";
constexpr std::uint32_t kUsbSpeedHigh = 3;

// The first free high-speed port in the text of a vhci status file (with or without the hub column).
std::optional<int> FreeHighSpeedPort(std::string_view status);

class VhciPort {
public:
    explicit VhciPort(std::string directory = kVhciDirectory) : directory(std::move(directory)) {}

    // Attaches the socket fd (kept open by the caller) at a free port; false with a reason on failure.
    bool Attach(int socketFd, std::uint32_t devid, std::string* error);
    // Unplugs the attached device; the kernel then shuts the socket down.
    bool Detach(std::string* error);
    std::optional<int> Port() const { return port; }

private:
    std::string directory;
    std::optional<int> port;
};

} // namespace vistrel::uvcemu
