#pragma once
// A camera property's range and values in the device's units and in the contract's: pan and tilt are
// degrees in the contract and arc-seconds on the wire. Both Linux backends convert through here.
#include <cstdint>

namespace vistrel::uvc {

enum class PropertyFamily { VideoProcAmp = 0, CameraControl = 1 };

struct ControlRange
{
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t step = 0;
    std::int32_t defaultValue = 0;
    bool disabled = false;
};

constexpr std::int32_t kArcSecondsPerDegree = 3600;

// Device units to the contract's, to the nearest.
std::int32_t FromWire(std::int32_t wire, std::int32_t perUnit);
// Range ends round inward, so both stay on the device.
ControlRange RangeFromWire(const ControlRange& wire, std::int32_t perUnit);
// The contract's units to the device's, on the device's step grid and inside its range.
std::int32_t ToWire(std::int32_t value, std::int32_t perUnit, const ControlRange& wire);

} // namespace vistrel::uvc
