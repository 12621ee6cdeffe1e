#pragma once
#include "images/CaptureTime.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vistrel {

// "YYYY:MM:DD HH:MM:SS", the form both EXIF and TIFF use for dates.
std::string ExifDateTime(const CaptureTime& time);

// A complete APP1 segment (marker included) holding DateTime, DateTimeOriginal with its
// sub-seconds, and the resolution in dots per inch (omitted when dotsPerInch is 0).
std::vector<std::uint8_t> ExifSegment(const CaptureTime& captureTime, std::int32_t dotsPerInch);

} // namespace vistrel
