#pragma once
#include <cstdint>

namespace vistrel {

struct OrientedSize { std::int32_t width, height; };

// Width and height after the orientation: odd rotations swap them.
OrientedSize OrientedSizeOf(std::int32_t W, std::int32_t H, std::int32_t rotation);

// Offsets of the fitted picture inside an outW x outH box, the bands being 2 * x0 wide or 2 * y0 high.
struct FitOffsets { std::int32_t x0, y0; };
FitOffsets FitOffsetsFor(std::int32_t rotW, std::int32_t rotH, std::int32_t outW, std::int32_t outH);

// Rows cut from the top and from the bottom of the oriented still so it fills boxW x boxH; negative
// when the still is too short, which leaves black bands.
std::int32_t CropOffsetFor(std::int32_t rotW, std::int32_t rotH, std::int32_t boxW, std::int32_t boxH);

} // namespace vistrel
