#include "capture/v4l2/ControlTable.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <array>

#include "capture/contract/CameraControls.h"

namespace vistrel::v4l2 {

namespace {

// The power-line frequency property of the video processing family (not among the named ones).
constexpr std::int32_t kVideoProcAmpPowerLineFrequency = 13;

constexpr std::array kVideoProcAmpRows {
    ControlBinding {VideoProcAmp_Brightness, V4L2_CID_BRIGHTNESS},
    ControlBinding {VideoProcAmp_Contrast, V4L2_CID_CONTRAST},
    ControlBinding {VideoProcAmp_Hue, V4L2_CID_HUE, V4L2_CID_HUE_AUTO},
    ControlBinding {VideoProcAmp_Saturation, V4L2_CID_SATURATION},
    ControlBinding {VideoProcAmp_Sharpness, V4L2_CID_SHARPNESS},
    ControlBinding {VideoProcAmp_Gamma, V4L2_CID_GAMMA},
    ControlBinding {VideoProcAmp_WhiteBalance, V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CID_AUTO_WHITE_BALANCE},
    ControlBinding {VideoProcAmp_BacklightCompensation, V4L2_CID_BACKLIGHT_COMPENSATION},
    ControlBinding {VideoProcAmp_Gain, V4L2_CID_GAIN, V4L2_CID_AUTOGAIN},
    ControlBinding {kVideoProcAmpPowerLineFrequency, V4L2_CID_POWER_LINE_FREQUENCY},
};

constexpr std::array kCameraControlRows {
    // Degrees here, arc-seconds on the wire.
    ControlBinding {CameraControl_Pan, V4L2_CID_PAN_ABSOLUTE, 0, 1, 0, uvc::kArcSecondsPerDegree},
    ControlBinding {CameraControl_Tilt, V4L2_CID_TILT_ABSOLUTE, 0, 1, 0, uvc::kArcSecondsPerDegree},
    ControlBinding {CameraControl_Zoom, V4L2_CID_ZOOM_ABSOLUTE},
    ControlBinding {CameraControl_Exposure, V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CID_EXPOSURE_AUTO,
                    V4L2_EXPOSURE_APERTURE_PRIORITY, V4L2_EXPOSURE_MANUAL},
    ControlBinding {CameraControl_Iris, V4L2_CID_IRIS_ABSOLUTE},
    ControlBinding {CameraControl_Focus, V4L2_CID_FOCUS_ABSOLUTE, V4L2_CID_FOCUS_AUTO},
};

} // namespace

const ControlBinding* FindControlBinding(uvc::PropertyFamily family, std::int32_t property)
{
    const auto find = [property](const auto& rows) -> const ControlBinding* {
        const auto it = std::ranges::find(rows, property, &ControlBinding::property);
        return it == rows.end() ? nullptr : &*it;
    };
    return family == uvc::PropertyFamily::VideoProcAmp ? find(kVideoProcAmpRows) : find(kCameraControlRows);
}

} // namespace vistrel::v4l2
