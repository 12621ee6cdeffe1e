#pragma once
// A packed 8-bit RGB picture, rows top to bottom.
#include <cstdint>
#include <vector>

namespace vistrel::sim {

struct RgbImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> pixels; // width * height * 3 bytes, R G B

    RgbImage() = default;
    RgbImage(std::int32_t w, std::int32_t h) : width(w), height(h), pixels(std::size_t(w) * std::size_t(h) * 3, 0) {}
    std::uint8_t* Row(std::int32_t y) { return pixels.data() + std::size_t(y) * std::size_t(width) * 3; }
    const std::uint8_t* Row(std::int32_t y) const { return pixels.data() + std::size_t(y) * std::size_t(width) * 3; }
    bool Empty() const { return width <= 0 || height <= 0; }
};

} // namespace vistrel::sim
