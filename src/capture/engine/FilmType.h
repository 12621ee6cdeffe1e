#pragma once
#include <cstdint>

namespace vistrel {

// Film types in the order of the radio buttons 3003, 3004, 3005.
enum FilmType : std::int32_t { Slide = 0, Negative = 1, BlackWhite = 2 };

} // namespace vistrel
