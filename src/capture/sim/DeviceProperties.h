#pragma once
// The camera properties a simulated device has, with their ranges and current values.
#include <cstdint>
#include <optional>
#include <vector>

#include "capture/contract/CameraControls.h"
#include "capture/sim/ToneTables.h"

namespace vistrel::sim {

enum class PropertyFamily : int { VideoProcAmp = 0, CameraControl = 1 };

struct PropertyRange {
    std::int32_t minimum = 0, maximum = 0, step = 1, defaultValue = 0, capsFlags = PropertyFlags_Manual;
};

struct PropertySlot {
    PropertyFamily family;
    std::int32_t property;
    PropertyRange range;
    std::int32_t value = 0;
    std::int32_t flags = PropertyFlags_Manual;
};

class DeviceProperties {
public:
    // The film scanner: the usual three, gamma, and its colour gains and film mode on camera controls.
    static DeviceProperties Scanner();
    // An ordinary camera: picture adjustments only, no camera controls.
    static DeviceProperties Camera();

    HRESULT GetRange(PropertyFamily family, std::int32_t property, PropertyRange* range) const;
    HRESULT Get(PropertyFamily family, std::int32_t property, std::int32_t* value, std::int32_t* flags) const;
    // Values outside the range (or off its step) are refused and leave the property as it was.
    HRESULT Set(PropertyFamily family, std::int32_t property, std::int32_t value, std::int32_t flags);
    std::optional<std::int32_t> Value(PropertyFamily family, std::int32_t property) const;
    void ResetToDefaults();

    // What the picture pipeline needs from the current values.
    ToneSettings Tones(bool filmScanner) const;

private:
    explicit DeviceProperties(std::vector<PropertySlot> slots);
    const PropertySlot* Find(PropertyFamily family, std::int32_t property) const;

    std::vector<PropertySlot> slots;
};

// The scanner's film mode on CameraControl_Roll.
constexpr std::int32_t kFilmModeAsIs = 0;
constexpr std::int32_t kFilmModeNegative = 1;

} // namespace vistrel::sim
