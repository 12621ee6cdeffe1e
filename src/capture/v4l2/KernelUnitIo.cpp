#include "capture/v4l2/KernelUnitIo.h"

#include <cerrno>

#include "capture/linux/ErrnoResult.h"

namespace vistrel::v4l2 {

uvc::UnitResult KernelUnitIo::Query(std::uint8_t unit, std::uint8_t selector, std::uint8_t request,
                                    std::uint8_t* data, std::uint16_t size)
{
    switch (const int error = io->UvcQuery(unit, selector, request, data, size)) {
    case 0:
        return uvc::UnitResult::Answered(size);
    case ENOENT:
        return uvc::UnitResult::NotLearned();
    case ENODEV:
        return uvc::UnitResult::Gone();
    default:
        return uvc::UnitResult::Failed(lnx::ControlResultFromErrno(error));
    }
}

} // namespace vistrel::v4l2
