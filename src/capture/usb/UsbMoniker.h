#pragma once
// A scanner on the USB bus as an entry of the video input category.
#include <memory>
#include <string>

#include "capture/contract/Devices.h"

struct libusb_device;

namespace vistrel::usb {

class UsbContext;

struct UsbScannerEntry
{
    std::string devicePath;
    std::string nodePath;     // the usbfs node
    std::string friendlyName;
    std::uint8_t controlInterface = 0;
    bool writable = false;
    bool inUseElsewhere = false; // another program has the driver's video node open
};

// What the bus says about a device of the scanner's identity; on any thread, the event thread included
// (it asks the device nothing).
UsbScannerEntry DescribeScanner(libusb_device* device);

class UsbMoniker final : public IMoniker
{
public:
    UsbMoniker(std::shared_ptr<UsbContext> context, libusb_device* device, UsbScannerEntry entry);
    ~UsbMoniker() override;
    UsbMoniker(const UsbMoniker&) = delete;
    UsbMoniker& operator=(const UsbMoniker&) = delete;

    // Opens the device and takes its video interfaces from the kernel's driver for as long as the filter
    // lives. A device that cannot be opened or claimed still gives a filter, whose requests fail.
    HRESULT BindToObject(std::shared_ptr<IBaseFilter>* filter) override;
    HRESULT BindToStorage(std::shared_ptr<IPropertyBag>* bag) override;

private:
    const std::shared_ptr<UsbContext> context;
    libusb_device* const device; // one reference held
    const UsbScannerEntry entry;
};

} // namespace vistrel::usb
