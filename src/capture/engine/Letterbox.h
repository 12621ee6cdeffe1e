#pragma once
#include <cstdint>

namespace vistrel {

struct PreviewRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const PreviewRect&, const PreviewRect&) = default;
};

// Fits a videoWidth x videoHeight picture into a cw x ch control with equal bars on both sides:
// the comparison in floating point, the offsets in truncating integer arithmetic.
PreviewRect LetterboxRect(std::int32_t cw, std::int32_t ch, std::int32_t videoWidth, std::int32_t videoHeight);

} // namespace vistrel
