#pragma once
// The requests a device's controls go through: V4L2 controls and uvcvideo's unit queries. Results are
// 0 or an errno, as the driver gives them.
#include <cstdint>

#include "capture/uvc/WireUnits.h"

namespace vistrel::v4l2 {

class IV4l2Io
{
public:
    virtual ~IV4l2Io() = default;
    virtual int QueryControl(std::uint32_t id, uvc::ControlRange* range) = 0;
    virtual int GetControl(std::uint32_t id, std::int32_t* value) = 0;
    virtual int SetControl(std::uint32_t id, std::int32_t value) = 0;
    // One UVC request (UVC_GET_CUR, UVC_SET_CUR, UVC_GET_LEN, ...) to a unit's control selector.
    virtual int UvcQuery(std::uint8_t unit, std::uint8_t selector, std::uint8_t query, std::uint8_t* data,
                         std::uint16_t size) = 0;
    // The open node for streaming; -1 when it could not be opened (OpenError tells why).
    virtual int Descriptor() const = 0;
    virtual int OpenError() const = 0;
};

} // namespace vistrel::v4l2
