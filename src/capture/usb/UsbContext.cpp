#include "capture/usb/UsbContext.h"

#include <libusb.h>

#include "capture/contract/Diagnostics.h"

namespace vistrel::usb {

namespace {

// The event thread wakes at least this often to look at its stop flag, should an interrupt be lost.
constexpr timeval kEventWait {1, 0};

int LIBUSB_CALL OnHotplug(libusb_context*, libusb_device* device, libusb_hotplug_event event, void* data)
{
    const auto& handler = *static_cast<UsbContext::Hotplug*>(data);
    if (handler)
        handler(device, event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED);
    return 0; // stay registered
}

} // namespace

std::shared_ptr<UsbContext> UsbContext::Create()
{
    std::shared_ptr<UsbContext> created(new UsbContext);
    if (const int error = libusb_init(&created->context); error != LIBUSB_SUCCESS) {
        created->context = nullptr;
        Diagnose(DiagnosticTopic::Devices, std::string("libusb cannot start: ") + libusb_error_name(error));
        return nullptr;
    }
    created->thread = std::thread([raw = created.get()] { raw->Run(); });
    return created;
}

UsbContext::~UsbContext()
{
    if (hotplugRegistered)
        libusb_hotplug_deregister_callback(context, hotplugHandle);
    stopping = true;
    if (context)
        libusb_interrupt_event_handler(context);
    if (thread.joinable())
        thread.join();
    if (context)
        libusb_exit(context);
}

bool UsbContext::WatchHotplug(std::uint16_t vendorId, std::uint16_t productId, Hotplug handler)
{
    if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) || hotplugRegistered)
        return false;
    hotplug = std::make_shared<Hotplug>(std::move(handler));
    const auto events = static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                          LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT);
    hotplugRegistered = libusb_hotplug_register_callback(context, events, LIBUSB_HOTPLUG_NO_FLAGS, vendorId,
                                                         productId, LIBUSB_HOTPLUG_MATCH_ANY, OnHotplug,
                                                         hotplug.get(), &hotplugHandle) == LIBUSB_SUCCESS;
    return hotplugRegistered;
}

void UsbContext::Run()
{
    while (!stopping) {
        timeval wait = kEventWait;
        libusb_handle_events_timeout_completed(context, &wait, nullptr);
    }
}

} // namespace vistrel::usb
