#include "images/OutputSize.h"

#include <array>
#include <cmath>

namespace vistrel {

namespace {

// Indexed by filmSize * 4 + resolution.
constexpr std::array<OutputSize, 8> kOutputSizeTable = {{
    {2592, 1744}, {5184, 3480}, {0, 0}, {0, 0},
    {2234, 2234}, {4245, 4245}, {0, 0}, {0, 0},
}};

// Long side of the film frame in millimetres, by film size.
constexpr std::array<double, 2> kFrameLongSideMm = {36.0, 28.0};
constexpr double kMmPerInch = 25.4;

} // namespace

OutputSize OutputSizeFor(std::int32_t filmSize, std::int32_t resolution)
{
    if (filmSize < 0 || filmSize > 1 || resolution < 0 || resolution > 3) {
        return {0, 0};
    }
    return kOutputSizeTable[static_cast<std::size_t>(filmSize * 4 + resolution)];
}

std::int32_t DotsPerInchFor(std::int32_t filmSize, OutputSize size)
{
    if (filmSize < 0 || filmSize > 1) {
        return 0;
    }
    const int longSide = size.width > size.height ? size.width : size.height;
    const double inches = kFrameLongSideMm[static_cast<std::size_t>(filmSize)] / kMmPerInch;
    return static_cast<std::int32_t>(std::lround(longSide / inches));
}

} // namespace vistrel
