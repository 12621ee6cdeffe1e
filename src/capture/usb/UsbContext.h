#pragma once
// One libusb context for the backend and the thread that handles its events: transfer completions and
// hot-plug callbacks run there.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

struct libusb_context;
struct libusb_device;

namespace vistrel::usb {

class UsbContext
{
public:
    // Arrival (true) or departure (false) of a device; on the event thread.
    using Hotplug = std::function<void(libusb_device* device, bool arrived)>;

    // Null when libusb cannot start here (no usbfs, say).
    static std::shared_ptr<UsbContext> Create();
    ~UsbContext();
    UsbContext(const UsbContext&) = delete;
    UsbContext& operator=(const UsbContext&) = delete;

    libusb_context* Get() const { return context; }

    // Watches one vendor and product; false when the platform has no hot-plug (the handler never runs).
    // The handler must outlive the context or be replaced by an empty one first.
    bool WatchHotplug(std::uint16_t vendorId, std::uint16_t productId, Hotplug handler);

private:
    UsbContext() = default;
    void Run();

    libusb_context* context = nullptr;
    std::shared_ptr<Hotplug> hotplug;
    int hotplugHandle = 0;
    bool hotplugRegistered = false;
    std::atomic<bool> stopping {false};
    std::thread thread; // last: started once everything above is in place
};

} // namespace vistrel::usb
