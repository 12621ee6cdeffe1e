#pragma once
// A still frame made into a self-contained JPEG file in memory.
#include <cstdint>
#include <span>
#include <vector>

namespace vistrel::uvc {

// Starts with the start-of-image marker.
bool LooksLikeJpeg(std::span<const std::uint8_t> frame);

// Motion-JPEG frames often leave out their Huffman tables and rely on the standard ones; the still must
// be a complete file, so the standard tables go in before the scan when the frame has none. A frame whose
// markers cannot be followed comes back unchanged.
std::vector<std::uint8_t> WithHuffmanTables(std::span<const std::uint8_t> frame);

// Packed 4:2:2 (Y0 U Y1 V) in the video range, compressed as a full-range 4:2:2 JPEG (the samples are
// stretched, not converted to RGB and back); empty on failure.
std::vector<std::uint8_t> JpegFromYuyv(std::span<const std::uint8_t> frame, int width, int height, int stride,
                                       int quality);

} // namespace vistrel::uvc
