#pragma once
// UVC unit requests over the control pipe, in the shape of uvcvideo's unit queries, so that the V4L2
// backend's extension-unit topology serves this backend unchanged.
#include <cstdint>
#include <memory>

#include "capture/v4l2/V4l2Io.h"

namespace vistrel::usb {

class UsbDevice;

class UsbUnitIo final : public v4l2::IV4l2Io
{
public:
    UsbUnitIo(std::shared_ptr<UsbDevice> device, std::uint8_t controlInterface);

    // No V4L2 controls here: ENOTTY.
    int QueryControl(std::uint32_t id, v4l2::ControlRange* range) override;
    int GetControl(std::uint32_t id, std::int32_t* value) override;
    int SetControl(std::uint32_t id, std::int32_t value) override;
    // A stall is explained by the interface's request error code, as uvcvideo does it. A unit that is
    // not ready to say what its control is (GET_INFO, GET_LEN) answers ENOENT, as uvcvideo's first-use
    // learning does, so the topology asks again.
    int UvcQuery(std::uint8_t unit, std::uint8_t selector, std::uint8_t query, std::uint8_t* data,
                 std::uint16_t size) override;
    int Descriptor() const override { return -1; }
    int OpenError() const override { return 0; }

private:
    std::shared_ptr<UsbDevice> device;
    const std::uint8_t controlInterface;
};

} // namespace vistrel::usb
