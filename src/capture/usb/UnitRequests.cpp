#include "capture/usb/UnitRequests.h"

#include <cerrno>

#include "capture/linux/ErrnoResult.h"
#include "capture/usb/UsbDevice.h"

namespace vistrel::usb {

namespace {

constexpr std::uint8_t kDeviceToHost = 0x80;

uvc::RequestError WhyStalled(UsbDevice& device, std::uint8_t controlInterface)
{
    std::uint8_t code = 0;
    int transferred = 0;
    const uvc::ClassRequest why = uvc::RequestErrorCodeRequest(controlInterface);
    return device.Control(why, {&code, 1}, &transferred) == 0 && transferred == 1
               ? uvc::DecodeRequestError({&code, 1})
               : uvc::RequestError::Unknown;
}

} // namespace

uvc::UnitResult SendUnitRequest(UsbDevice& device, const uvc::ClassRequest& setup, std::span<std::uint8_t> data,
                                std::uint8_t controlInterface)
{
    int transferred = 0;
    int error = device.Control(setup, data, &transferred);
    const bool reads = setup.requestType & kDeviceToHost;
    if (!error && reads && transferred != setup.length)
        error = EPROTO;
    switch (error) {
    case 0:
        return uvc::UnitResult::Answered(transferred);
    case EPIPE:
        return uvc::UnitResult::Stalled(WhyStalled(device, controlInterface));
    case ENODEV:
        return uvc::UnitResult::Gone();
    default: {
        uvc::UnitResult result = uvc::UnitResult::Failed(lnx::ControlResultFromErrno(error));
        result.transferred = transferred;
        return result;
    }
    }
}

} // namespace vistrel::usb
