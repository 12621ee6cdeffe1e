#include "capture/usb/UsbUnitIo.h"

#include "capture/usb/UnitRequests.h"
#include "capture/usb/UsbDevice.h"

namespace vistrel::usb {

UsbUnitIo::UsbUnitIo(std::shared_ptr<UsbDevice> device, std::uint8_t controlInterface)
    : device(std::move(device)), controlInterface(controlInterface)
{
}

uvc::UnitResult UsbUnitIo::Query(std::uint8_t unit, std::uint8_t selector, std::uint8_t request, std::uint8_t* data,
                                 std::uint16_t size)
{
    const uvc::ClassRequest setup = uvc::MakeClassRequest(request, selector, unit, controlInterface, size);
    return SendUnitRequest(*device, setup, {data, size}, controlInterface);
}

} // namespace vistrel::usb
