#pragma once
// One class request to a unit, a terminal or a streaming interface, and for a stall the reason the
// control interface gives (its request error code control).
#include <cstdint>
#include <span>

#include "capture/contract/Result.h"
#include "capture/usb/ControlRequests.h"

namespace vistrel::usb {

class UsbDevice;

struct UnitRequestResult
{
    int error = 0;                              // errno; EPIPE for a stall
    RequestError why = RequestError::NoError;   // a stall's reason, as the device tells it
    int transferred = 0;

    // The result code the engine understands.
    HRESULT Result() const;
};

// A reply shorter than asked for counts as EPROTO: the rest of the data would be undefined.
UnitRequestResult SendUnitRequest(UsbDevice& device, const ClassRequest& setup, std::span<std::uint8_t> data,
                                  std::uint8_t controlInterface);

} // namespace vistrel::usb
