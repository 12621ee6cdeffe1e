#pragma once
// Pictures the simulated devices show instead of the built-in scene: JPEG or binary PPM files.
#include <cstdint>
#include <optional>
#include <string>

#include "capture/sim/RgbImage.h"

namespace vistrel::sim {

// Pictures larger than this are refused rather than allocated blindly.
constexpr std::int64_t kMaxPicturePixels = 100'000'000;

// Larger files are refused unread: enough for a binary PPM of the largest picture taken.
constexpr std::int64_t kMaxPictureFileBytes = 3 * kMaxPicturePixels + 4096;

// Whether path names a regular file of at most kMaxPictureFileBytes; why not, in error.
bool IsPictureFileReadable(const std::string& path, std::string* error = nullptr);

// Refuses what IsPictureFileReadable refuses; never throws for a bad path.
std::optional<RgbImage> LoadPictureFile(const std::string& path, std::string* error = nullptr);

// Scales to cover width x height and crops the overflow evenly (bilinear), keeping the aspect.
RgbImage ResampleToCover(const RgbImage& source, std::int32_t width, std::int32_t height);

} // namespace vistrel::sim
