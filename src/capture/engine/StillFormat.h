#pragma once
#include <cstdint>

namespace vistrel {

// Pixel size of the still pin's format, copied into every captured image; 0 until first read.
struct StillFormat {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

} // namespace vistrel
