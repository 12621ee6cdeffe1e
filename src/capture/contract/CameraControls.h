#pragma once
// Camera properties of a video device and its still trigger.
#include <cstdint>
#include <memory>

#include "capture/contract/Result.h"

namespace vistrel {

class IPin;

enum VideoProcAmpProperty : std::int32_t {
    VideoProcAmp_Brightness = 0,
    VideoProcAmp_Contrast = 1,
    VideoProcAmp_Hue = 2,
    VideoProcAmp_Saturation = 3,
    VideoProcAmp_Sharpness = 4,
    VideoProcAmp_Gamma = 5,
    VideoProcAmp_ColorEnable = 6,
    VideoProcAmp_WhiteBalance = 7,
    VideoProcAmp_BacklightCompensation = 8,
    VideoProcAmp_Gain = 9,
};

enum CameraControlProperty : std::int32_t {
    CameraControl_Pan = 0,
    CameraControl_Tilt = 1,
    CameraControl_Roll = 2,
    CameraControl_Zoom = 3,
    CameraControl_Exposure = 4,
    CameraControl_Iris = 5,
    CameraControl_Focus = 6,
};

constexpr std::int32_t PropertyFlags_Auto = 0x1;
constexpr std::int32_t PropertyFlags_Manual = 0x2;

// Both property families share one shape: range with default and capability flags, value with flags.
class IAMPropertyFamily {
public:
    virtual ~IAMPropertyFamily() = default;
    virtual HRESULT GetRange(std::int32_t property, std::int32_t* minimum, std::int32_t* maximum,
                             std::int32_t* step, std::int32_t* defaultValue, std::int32_t* capsFlags) = 0;
    virtual HRESULT Set(std::int32_t property, std::int32_t value, std::int32_t flags) = 0;
    virtual HRESULT Get(std::int32_t property, std::int32_t* value, std::int32_t* flags) = 0;
};

class IAMVideoProcAmp : public IAMPropertyFamily {};
class IAMCameraControl : public IAMPropertyFamily {};

constexpr std::int32_t VideoControlFlag_FlipHorizontal = 0x1;
constexpr std::int32_t VideoControlFlag_FlipVertical = 0x2;
constexpr std::int32_t VideoControlFlag_ExternalTriggerEnable = 0x4;
constexpr std::int32_t VideoControlFlag_Trigger = 0x8;

class IAMVideoControl {
public:
    virtual ~IAMVideoControl() = default;
    virtual HRESULT SetMode(const std::shared_ptr<IPin>& pin, std::int32_t mode) = 0;
    virtual HRESULT GetMode(const std::shared_ptr<IPin>& pin, std::int32_t* mode) = 0;
};

} // namespace vistrel
