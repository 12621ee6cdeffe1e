#include "capture/usb/UsbMoniker.h"

#include <libusb.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "capture/contract/Diagnostics.h"
#include "capture/runtime/DevicePropertyBag.h"
#include "capture/usb/UsbContext.h"
#include "capture/usb/UsbDevice.h"
#include "capture/usb/UsbDeviceNames.h"
#include "capture/usb/UsbSourceFilter.h"
#include "capture/usb/VideoNodeUsers.h"

namespace vistrel::usb {

namespace {

constexpr std::uint8_t kClassVideo = 0x0E;
constexpr std::uint8_t kSubclassControl = 0x01;
constexpr int kMostPorts = 7; // the deepest chain of hubs USB allows
constexpr char kFriendlyName[] = "USB Film Scanner";

// The first video control interface of the active (or else the first) configuration.
std::uint8_t ControlInterface(libusb_device* device)
{
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS &&
        libusb_get_config_descriptor(device, 0, &config) != LIBUSB_SUCCESS)
        return 0;
    std::uint8_t found = 0;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& entry = config->interface[i];
        if (entry.num_altsetting > 0 && entry.altsetting[0].bInterfaceClass == kClassVideo &&
            entry.altsetting[0].bInterfaceSubClass == kSubclassControl) {
            found = entry.altsetting[0].bInterfaceNumber;
            break;
        }
    }
    libusb_free_config_descriptor(config);
    return found;
}

// The control interface first, then its streaming interfaces.
std::vector<std::uint8_t> VideoInterfaces(const uvc::UvcFunction& function)
{
    std::vector<std::uint8_t> interfaces {function.controlInterface};
    for (const std::uint8_t number : function.streamingInterfaces)
        interfaces.push_back(number);
    return interfaces;
}

} // namespace

UsbScannerEntry DescribeScanner(libusb_device* device)
{
    std::array<std::uint8_t, kMostPorts> ports {};
    const int depth = libusb_get_port_numbers(device, ports.data(), static_cast<int>(ports.size()));
    const std::uint8_t bus = libusb_get_bus_number(device);
    const std::string busPath = BusPath(bus, std::span(ports.data(), depth > 0 ? depth : 0));
    libusb_device_descriptor descriptor {};
    libusb_get_device_descriptor(device, &descriptor);
    UsbScannerEntry entry;
    entry.controlInterface = ControlInterface(device);
    entry.devicePath = UsbBackendDevicePath(descriptor.idVendor, descriptor.idProduct, entry.controlInterface, busPath);
    entry.nodePath = NodePath(bus, libusb_get_device_address(device));
    entry.friendlyName = kFriendlyName;
    entry.writable = NodeWritable(entry.nodePath);
    entry.inUseElsewhere = VideoNodeOpenElsewhere(busPath);
    return entry;
}

UsbMoniker::UsbMoniker(std::shared_ptr<UsbContext> context, libusb_device* device, UsbScannerEntry entry)
    : context(std::move(context)), device(libusb_ref_device(device)), entry(std::move(entry))
{
}

UsbMoniker::~UsbMoniker()
{
    libusb_unref_device(device);
}

HRESULT UsbMoniker::BindToObject(std::shared_ptr<IBaseFilter>* filter)
{
    if (!filter)
        return E_POINTER;
    const auto unusable = [&](const char* step, int error) {
        Diagnose(DiagnosticTopic::Devices, entry.nodePath + ": cannot " + step + ": " + std::strerror(error));
        *filter = UsbSourceFilter::Unusable(entry.friendlyName, error);
        return S_OK;
    };
    int error = 0;
    std::shared_ptr<UsbDevice> opened = UsbDevice::Open(context, device, entry.nodePath, &error);
    if (!opened)
        return unusable("open the device", error);
    std::vector<std::uint8_t> configuration;
    if ((error = opened->ReadConfiguration(&configuration)))
        return unusable("read its descriptors", error);
    auto function = uvc::ParseUvcFunction(configuration, entry.controlInterface);
    if (!function)
        return unusable("find its video function", ENODEV);
    if ((error = opened->ClaimInterfaces(VideoInterfaces(*function))))
        return unusable("take its interfaces from the kernel's driver", error);
    *filter = UsbSourceFilter::Create(entry.friendlyName, std::move(*function), std::move(opened));
    return S_OK;
}

HRESULT UsbMoniker::BindToStorage(std::shared_ptr<IPropertyBag>* bag)
{
    if (!bag)
        return E_POINTER;
    *bag = std::make_shared<DevicePropertyBag>(entry.devicePath, entry.friendlyName);
    return S_OK;
}

} // namespace vistrel::usb
