#include "capture/usb/UnitRequests.h"

#include <cerrno>

#include "capture/usb/UsbDevice.h"
#include "capture/v4l2/ErrnoResult.h"

namespace vistrel::usb {

namespace {

constexpr std::uint8_t kDeviceToHost = 0x80;

} // namespace

HRESULT UnitRequestResult::Result() const
{
    if (error == EPIPE && why != RequestError::Unknown)
        return ResultFromRequestError(why);
    return v4l2::ControlResultFromErrno(error);
}

UnitRequestResult SendUnitRequest(UsbDevice& device, const ClassRequest& setup, std::span<std::uint8_t> data,
                                  std::uint8_t controlInterface)
{
    UnitRequestResult result;
    result.error = device.Control(setup, data, &result.transferred);
    const bool reads = setup.requestType & kDeviceToHost;
    if (!result.error && reads && result.transferred != setup.length)
        result.error = EPROTO;
    if (result.error != EPIPE)
        return result;
    std::uint8_t code = 0;
    int transferred = 0;
    const ClassRequest why = RequestErrorCodeRequest(controlInterface);
    result.why = device.Control(why, {&code, 1}, &transferred) == 0 && transferred == 1
                     ? DecodeRequestError({&code, 1})
                     : RequestError::Unknown;
    return result;
}

} // namespace vistrel::usb
