#include "capture/usb/UsbUnitIo.h"

#include <algorithm>
#include <cerrno>

#include "capture/usb/UnitRequests.h"
#include "capture/usb/UsbDevice.h"

namespace vistrel::usb {

namespace {

struct ErrnoRow
{
    RequestError why;
    int error;
};

// What uvcvideo answers a unit query with for each reason a device gives for a stall.
constexpr ErrnoRow kStallErrnos[] = {
    {RequestError::NotReady, EBUSY},
    {RequestError::WrongState, EACCES},
    {RequestError::Power, EREMOTE},
    {RequestError::OutOfRange, ERANGE},
    {RequestError::InvalidUnit, EINVAL},
    {RequestError::InvalidControl, EINVAL},
    {RequestError::InvalidRequest, EINVAL},
    {RequestError::InvalidValueWithinRange, EINVAL},
};

int StallErrno(RequestError why)
{
    const auto row = std::ranges::find(kStallErrnos, why, &ErrnoRow::why);
    return row == std::end(kStallErrnos) ? EPIPE : row->error;
}

} // namespace

UsbUnitIo::UsbUnitIo(std::shared_ptr<UsbDevice> device, std::uint8_t controlInterface)
    : device(std::move(device)), controlInterface(controlInterface)
{
}

int UsbUnitIo::QueryControl(std::uint32_t, v4l2::ControlRange*)
{
    return ENOTTY;
}

int UsbUnitIo::GetControl(std::uint32_t, std::int32_t*)
{
    return ENOTTY;
}

int UsbUnitIo::SetControl(std::uint32_t, std::int32_t)
{
    return ENOTTY;
}

int UsbUnitIo::UvcQuery(std::uint8_t unit, std::uint8_t selector, std::uint8_t query, std::uint8_t* data,
                        std::uint16_t size)
{
    const ClassRequest setup = MakeClassRequest(query, selector, unit, controlInterface, size);
    const UnitRequestResult result = SendUnitRequest(*device, setup, {data, size}, controlInterface);
    const int error = result.error == EPIPE ? StallErrno(result.why) : result.error;
    const bool learning = query == GET_INFO || query == GET_LEN;
    return learning && error == EBUSY ? ENOENT : error;
}

} // namespace vistrel::usb
