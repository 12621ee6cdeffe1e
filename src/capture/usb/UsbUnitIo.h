#pragma once
// UVC unit requests over the control pipe, for the extension-unit topology.
#include <cstdint>
#include <memory>

#include "capture/uvc/UnitResult.h"

namespace vistrel::usb {

class UsbDevice;

class UsbUnitIo final : public uvc::IUnitIo
{
public:
    UsbUnitIo(std::shared_ptr<UsbDevice> device, std::uint8_t controlInterface);

    uvc::UnitResult Query(std::uint8_t unit, std::uint8_t selector, std::uint8_t request, std::uint8_t* data,
                          std::uint16_t size) override;

private:
    std::shared_ptr<UsbDevice> device;
    const std::uint8_t controlInterface;
};

} // namespace vistrel::usb
