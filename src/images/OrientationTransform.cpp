#include "images/OrientationTransform.h"

namespace vistrel {

// Each row maps the oriented picture back onto the still; see the header for the formula.
const std::array<OrientationOp, 8> kOrientationTable = {{
    {{{1, 0}, {0, 1}}, 0, 0, false, 0},     // as captured
    {{{0, 1}, {-1, 0}}, 0, 1, true, 1},     // 90 degrees clockwise
    {{{-1, 0}, {0, -1}}, 1, 1, false, 2},   // 180 degrees
    {{{0, -1}, {1, 0}}, 1, 0, true, 3},     // 270 degrees clockwise
    {{{-1, 0}, {0, 1}}, 1, 0, false, 4},    // flipped left-right
    {{{0, -1}, {-1, 0}}, 1, 1, true, 7},    // flipped, then 90 degrees clockwise
    {{{1, 0}, {0, -1}}, 0, 1, false, 6},    // flipped, then 180 degrees
    {{{0, 1}, {1, 0}}, 0, 0, true, 5},      // flipped, then 270 degrees clockwise
}};

OrientationOp OrientationTransform(std::int32_t mirrored, std::int32_t rotation)
{
    const int m = ((mirrored % 2) + 2) % 2;
    const int r = ((rotation % 4) + 4) % 4;
    return kOrientationTable[static_cast<std::size_t>(r + 4 * m)];
}

} // namespace vistrel
