#pragma once
// One class request to a unit, a terminal or a streaming interface, read as the protocol's result: for
// a stall, the reason the control interface gives (its request error code control). The one place
// where libusb's outcome of a class request becomes a unit result.
#include <cstdint>
#include <span>

#include "capture/uvc/ClassRequest.h"
#include "capture/uvc/UnitResult.h"

namespace vistrel::usb {

class UsbDevice;

// A reply shorter than asked for is a failure: the rest of the data would be undefined.
uvc::UnitResult SendUnitRequest(UsbDevice& device, const uvc::ClassRequest& setup, std::span<std::uint8_t> data,
                                std::uint8_t controlInterface);

} // namespace vistrel::usb
