#include "capture/uvc/WireUnits.h"

#include <algorithm>
#include <cmath>

namespace vistrel::uvc {

std::int32_t FromWire(std::int32_t wire, std::int32_t perUnit)
{
    return static_cast<std::int32_t>(std::lround(static_cast<double>(wire) / perUnit));
}

ControlRange RangeFromWire(const ControlRange& wire, std::int32_t perUnit)
{
    if (perUnit == 1)
        return wire;
    ControlRange range = wire;
    range.minimum = static_cast<std::int32_t>(std::ceil(static_cast<double>(wire.minimum) / perUnit));
    range.maximum = static_cast<std::int32_t>(std::floor(static_cast<double>(wire.maximum) / perUnit));
    range.step = std::max(1, FromWire(wire.step, perUnit));
    range.defaultValue = FromWire(wire.defaultValue, perUnit);
    return range;
}

std::int32_t ToWire(std::int32_t value, std::int32_t perUnit, const ControlRange& wire)
{
    if (perUnit == 1)
        return value;
    const std::int64_t wanted = std::int64_t {value} * perUnit;
    const std::int64_t minimum = wire.minimum;
    const std::int64_t maximum = std::max<std::int64_t>(minimum, wire.maximum);
    const std::int64_t step = std::max<std::int64_t>(1, wire.step);
    const std::int64_t inside = std::clamp(wanted, minimum, maximum);
    std::int64_t snapped = minimum + (inside - minimum + step / 2) / step * step;
    if (snapped > maximum)
        snapped -= step;
    return static_cast<std::int32_t>(snapped);
}

} // namespace vistrel::uvc
