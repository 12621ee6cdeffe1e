#pragma once
// Pictures the simulated devices show instead of the built-in scene: JPEG or binary PPM files.
#include <cstdint>
#include <optional>
#include <string>

#include "capture/sim/RgbImage.h"

namespace vistrel::sim {

// Pictures larger than this are refused rather than allocated blindly.
constexpr std::int64_t kMaxPicturePixels = 100'000'000;

std::optional<RgbImage> LoadPictureFile(const std::string& path, std::string* error = nullptr);

// Scales to cover width x height and crops the overflow evenly (bilinear), keeping the aspect.
RgbImage ResampleToCover(const RgbImage& source, std::int32_t width, std::int32_t height);

} // namespace vistrel::sim
