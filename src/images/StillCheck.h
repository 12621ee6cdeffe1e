#pragma once
#include <cstdint>

namespace vistrel {

// Damaged: the header is sound but the data behind it is cut short or corrupt, so decoding would
// fill part of the picture with grey.
enum class StillCheck { Ok, NotDecodable, TooLarge, Damaged };

// Largest decoded area accepted, in pixels.
constexpr std::int64_t kMaxStillPixels = 100'000'000;

// Reads only the still's header; width and height (either may be null) receive its size when known.
StillCheck CheckStillHeader(const std::uint8_t* bytes, std::int32_t size, std::int32_t* width, std::int32_t* height);

// The header, then the whole compressed data at the smallest decoding scale (cheap, yet every byte is
// read): a still that libjpeg has to warn about is Damaged.
StillCheck CheckStill(const std::uint8_t* bytes, std::int32_t size, std::int32_t* width, std::int32_t* height);

} // namespace vistrel
