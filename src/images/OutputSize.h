#pragma once
#include <cstdint>

namespace vistrel {

struct OutputSize { std::int32_t width, height; };

// The fixed pixel size of a saved file for a film size (0 "135", 1 "126") and resolution
// (0 Standard, 1 High); {0, 0} for values outside the table.
OutputSize OutputSizeFor(std::int32_t filmSize, std::int32_t resolution);

// Dots per inch that make the output's long side the film frame's long side (36 mm or 28 mm).
std::int32_t DotsPerInchFor(std::int32_t filmSize, OutputSize size);

enum OutputFormat : std::int32_t { Jpeg = 0, Tiff = 1 };

} // namespace vistrel
