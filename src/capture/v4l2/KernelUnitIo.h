#pragma once
// uvcvideo's unit queries (UVCIOC_CTRL_QUERY) as the protocol's unit results: the one place where the
// driver's errnos for a unit query are read.
#include <memory>

#include "capture/uvc/UnitResult.h"
#include "capture/v4l2/V4l2Io.h"

namespace vistrel::v4l2 {

class KernelUnitIo final : public uvc::IUnitIo
{
public:
    explicit KernelUnitIo(std::shared_ptr<IV4l2Io> io) : io(std::move(io)) {}

    // ENOENT is the driver failing to learn the control at its first use; a stall's reason reaches us
    // only as an errno, so other failures keep the errno's result code.
    uvc::UnitResult Query(std::uint8_t unit, std::uint8_t selector, std::uint8_t request, std::uint8_t* data,
                          std::uint16_t size) override;

private:
    std::shared_ptr<IV4l2Io> io;
};

} // namespace vistrel::v4l2
