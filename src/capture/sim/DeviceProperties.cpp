#include "capture/sim/DeviceProperties.h"

namespace vistrel::sim {
namespace {

constexpr PropertyRange kBrightness {-64, 64, 1, 0};
constexpr PropertyRange kContrast {0, 100, 1, 50};
constexpr PropertyRange kSaturation {0, 100, 1, 50};
constexpr PropertyRange kGamma {100, 500, 1, 300};
constexpr PropertyRange kSharpness {0, 7, 1, 3};
constexpr PropertyRange kColourGain {0, 255, 1, 128};
constexpr PropertyRange kFilmMode {0, 1, 1, kFilmModeAsIs};

PropertySlot Slot(PropertyFamily family, std::int32_t property, PropertyRange range)
{
    return {family, property, range, range.defaultValue, PropertyFlags_Manual};
}

} // namespace

DeviceProperties::DeviceProperties(std::vector<PropertySlot> s) : slots(std::move(s)) {}

DeviceProperties DeviceProperties::Scanner()
{
    using enum PropertyFamily;
    return DeviceProperties({
        Slot(VideoProcAmp, VideoProcAmp_Brightness, kBrightness),
        Slot(VideoProcAmp, VideoProcAmp_Contrast, kContrast),
        Slot(VideoProcAmp, VideoProcAmp_Saturation, kSaturation),
        Slot(VideoProcAmp, VideoProcAmp_Gamma, kGamma),
        Slot(CameraControl, CameraControl_Pan, kColourGain),  // red
        Slot(CameraControl, CameraControl_Tilt, kColourGain), // blue
        Slot(CameraControl, CameraControl_Roll, kFilmMode),
        Slot(CameraControl, CameraControl_Zoom, kColourGain), // green
    });
}

DeviceProperties DeviceProperties::Camera()
{
    using enum PropertyFamily;
    return DeviceProperties({
        Slot(VideoProcAmp, VideoProcAmp_Brightness, kBrightness),
        Slot(VideoProcAmp, VideoProcAmp_Contrast, kContrast),
        Slot(VideoProcAmp, VideoProcAmp_Saturation, kSaturation),
        Slot(VideoProcAmp, VideoProcAmp_Sharpness, kSharpness),
        Slot(VideoProcAmp, VideoProcAmp_Gamma, kGamma),
    });
}

const PropertySlot* DeviceProperties::Find(PropertyFamily family, std::int32_t property) const
{
    for (const auto& s : slots)
        if (s.family == family && s.property == property)
            return &s;
    return nullptr;
}

HRESULT DeviceProperties::GetRange(PropertyFamily family, std::int32_t property, PropertyRange* range) const
{
    const auto* s = Find(family, property);
    if (!s)
        return E_PROP_ID_UNSUPPORTED;
    *range = s->range;
    return S_OK;
}

HRESULT DeviceProperties::Get(PropertyFamily family, std::int32_t property, std::int32_t* value,
                              std::int32_t* flags) const
{
    const auto* s = Find(family, property);
    if (!s)
        return E_PROP_ID_UNSUPPORTED;
    *value = s->value;
    *flags = s->flags;
    return S_OK;
}

HRESULT DeviceProperties::Set(PropertyFamily family, std::int32_t property, std::int32_t value, std::int32_t flags)
{
    auto* s = const_cast<PropertySlot*>(Find(family, property));
    if (!s)
        return E_PROP_ID_UNSUPPORTED;
    const auto& r = s->range;
    if (value < r.minimum || value > r.maximum || (r.step > 1 && (value - r.minimum) % r.step != 0))
        return E_INVALIDARG;
    // Automatic mode is only taken when the property offers it.
    if ((flags & PropertyFlags_Auto) && !(r.capsFlags & PropertyFlags_Auto))
        return E_INVALIDARG;
    s->value = value;
    s->flags = flags;
    return S_OK;
}

std::optional<std::int32_t> DeviceProperties::Value(PropertyFamily family, std::int32_t property) const
{
    const auto* s = Find(family, property);
    return s ? std::optional<std::int32_t>(s->value) : std::nullopt;
}

void DeviceProperties::ResetToDefaults()
{
    for (auto& s : slots) {
        s.value = s.range.defaultValue;
        s.flags = PropertyFlags_Manual;
    }
}

ToneSettings DeviceProperties::Tones(bool filmScanner) const
{
    using enum PropertyFamily;
    auto value = [this](PropertyFamily f, std::int32_t p, std::int32_t fallback) {
        return Value(f, p).value_or(fallback);
    };
    ToneSettings t;
    t.brightness = value(VideoProcAmp, VideoProcAmp_Brightness, t.brightness);
    t.contrast = value(VideoProcAmp, VideoProcAmp_Contrast, t.contrast);
    t.saturation = value(VideoProcAmp, VideoProcAmp_Saturation, t.saturation);
    t.gamma = value(VideoProcAmp, VideoProcAmp_Gamma, t.gamma);
    t.gains = {value(CameraControl, CameraControl_Pan, 128), value(CameraControl, CameraControl_Zoom, 128),
               value(CameraControl, CameraControl_Tilt, 128)};
    if (!filmScanner)
        t.sensor = Sensor::Camera;
    else
        t.sensor = value(CameraControl, CameraControl_Roll, kFilmModeAsIs) == kFilmModeNegative ? Sensor::FilmInverted
                                                                                              : Sensor::FilmAsIs;
    return t;
}

} // namespace vistrel::sim
