#pragma once
// Which V4L2 control carries each camera property, and in which unit.
#include <cstdint>

#include "capture/uvc/WireUnits.h"

namespace vistrel::v4l2 {

using uvc::ControlRange;
using uvc::PropertyFamily;

struct ControlBinding
{
    std::int32_t property = 0;
    std::uint32_t v4l2Id = 0;          // 0: V4L2 has no control for it
    std::uint32_t autoId = 0;          // the control that switches automatic mode, 0: none
    std::int32_t autoValue = 1;        // autoId's value for automatic mode
    std::int32_t manualValue = 0;      // and for manual mode
    std::int32_t wirePerUnit = 1;      // device units per property unit (arc-seconds per degree for pan, tilt)
};

// Null when the property has no carrier (E_PROP_ID_UNSUPPORTED). Roll has none: uvcvideo maps no V4L2
// control onto it and answers unit queries for extension units only.
const ControlBinding* FindControlBinding(uvc::PropertyFamily family, std::int32_t property);

} // namespace vistrel::v4l2
