#pragma once
#include <array>
#include <cstdint>

namespace vistrel {

// Flip left-right when mirrored, then turn clockwise by rotation quarter turns, written as the map
// from a point (u, v) of the oriented picture back to the still (x, y), in continuous coordinates:
//     x = m[0][0] * u + m[0][1] * v + originX * W
//     y = m[1][0] * u + m[1][1] * v + originY * H
// For pixel indices use W - 1 and H - 1 in place of W and H.
struct OrientationOp
{
    std::int8_t m[2][2];
    std::int8_t originX, originY;
    bool swapsAxes;               // odd rotation: the oriented picture is H wide and W high
    std::uint8_t rotateFlipCode;  // the equivalent combined rotate-and-flip code (rotate, then flip)
};

// Indexed by rotation + 4 * mirrored.
extern const std::array<OrientationOp, 8> kOrientationTable;

// Out-of-range values are taken modulo 2 and 4.
OrientationOp OrientationTransform(std::int32_t mirrored, std::int32_t rotation);

} // namespace vistrel
