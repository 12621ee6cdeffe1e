#pragma once
// Which V4L2 control (or camera-terminal request) carries each camera property.
#include <cstdint>

namespace vistrel::v4l2 {

enum class PropertyFamily { VideoProcAmp = 0, CameraControl = 1 };

struct ControlBinding
{
    std::int32_t property = 0;
    std::uint32_t v4l2Id = 0;          // 0: V4L2 has no control for it
    std::uint32_t autoId = 0;          // the control that switches automatic mode, 0: none
    std::int32_t autoValue = 1;        // autoId's value for automatic mode
    std::int32_t manualValue = 0;      // and for manual mode
    std::uint8_t terminalSelector = 0; // camera-terminal control asked through a UVC query instead, 0: none
    std::uint8_t terminalBit = 0;      // its bit in the terminal's bmControls
    std::uint8_t terminalSize = 0;     // its value's byte count (signed, little-endian)
};

// Null when the property has no carrier at all (E_PROP_ID_UNSUPPORTED).
const ControlBinding* FindControlBinding(PropertyFamily family, std::int32_t property);

} // namespace vistrel::v4l2
