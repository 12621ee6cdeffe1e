#pragma once
#include <cstdint>

namespace vistrel {

enum class StillCheck { Ok, NotDecodable, TooLarge };

// Largest decoded area accepted, in pixels.
constexpr std::int64_t kMaxStillPixels = 100'000'000;

// Reads only the still's header; width and height (either may be null) receive its size when known.
StillCheck CheckStill(const std::uint8_t* bytes, std::int32_t size, std::int32_t* width, std::int32_t* height);

} // namespace vistrel
