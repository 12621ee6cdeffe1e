#include "images/Geometry.h"

namespace vistrel {

// Products are taken in 64 bits so that absurd sizes cannot overflow; for every real size the
// results equal the 32-bit arithmetic, truncating toward zero.

OrientedSize OrientedSizeOf(std::int32_t W, std::int32_t H, std::int32_t rotation)
{
    return rotation % 2 != 0 ? OrientedSize{H, W} : OrientedSize{W, H};
}

FitOffsets FitOffsetsFor(std::int32_t rotW, std::int32_t rotH, std::int32_t outW, std::int32_t outH)
{
    if (rotW <= 0 || rotH <= 0 || outW <= 0 || outH <= 0) {
        return {0, 0};
    }
    const double wider = static_cast<double>(rotW) / outW - static_cast<double>(rotH) / outH;
    if (wider > 0.0) {
        const auto fitted = static_cast<std::int64_t>(rotH) * outW / rotW;
        return {0, static_cast<std::int32_t>((outH - fitted) / 2)};
    }
    const auto fitted = static_cast<std::int64_t>(rotW) * outH / rotH;
    return {static_cast<std::int32_t>((outW - fitted) / 2), 0};
}

std::int32_t CropOffsetFor(std::int32_t rotW, std::int32_t rotH, std::int32_t boxW, std::int32_t boxH)
{
    if (rotW == rotH || boxW <= 0) {
        return 0;
    }
    const auto kept = static_cast<std::int64_t>(rotW) * boxH / boxW;
    return static_cast<std::int32_t>((rotH - kept) / 2);
}

} // namespace vistrel
