#pragma once
// What a test on the bench looks at in the pictures the program received: a JPEG's size, and whether a
// live frame holds a picture rather than a flat fill.
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "capture/contract/Graph.h"

namespace vistrel::hwtest {

struct Size {
    int width = 0, height = 0;
    bool operator==(const Size&) const = default;
};

// The size in a JPEG's header; 0x0 when it is no JPEG.
inline Size JpegSize(const std::vector<std::uint8_t>& jpeg)
{
    tjhandle h = tjInitDecompress();
    int w = 0, hgt = 0, sub = 0, cs = 0;
    const int rc = tjDecompressHeader3(h, jpeg.data(), static_cast<unsigned long>(jpeg.size()), &w, &hgt, &sub, &cs);
    tjDestroy(h);
    return rc == 0 ? Size {w, hgt} : Size {};
}

// Whether the whole JPEG decodes (a still cut short by an unplug does not).
inline bool DecodesWhole(const std::vector<std::uint8_t>& jpeg)
{
    const Size size = JpegSize(jpeg);
    if (size.width == 0)
        return false;
    std::vector<std::uint8_t> pixels(std::size_t(size.width) * std::size_t(size.height) * 3);
    tjhandle h = tjInitDecompress();
    const int rc = tjDecompress2(h, jpeg.data(), static_cast<unsigned long>(jpeg.size()), pixels.data(), size.width, 0,
                                 size.height, TJPF_RGB, TJFLAG_STOPONWARNING);
    tjDestroy(h);
    return rc == 0;
}

// Spread of the grey levels of a live frame: a picture, not a flat fill.
inline double GreySpread(const VideoFrame& frame)
{
    double sum = 0, squares = 0;
    std::size_t n = 0;
    for (std::int32_t y = 0; y < frame.height; y += 4) {
        const std::uint8_t* row = frame.pixels.data() + std::size_t(y) * frame.stride;
        for (std::int32_t x = 0; x < frame.width; x += 4) {
            const double grey = (row[4 * x] + row[4 * x + 1] + row[4 * x + 2]) / 3.0;
            sum += grey;
            squares += grey * grey;
            ++n;
        }
    }
    const double mean = sum / double(n);
    return std::sqrt(std::max(0.0, squares / double(n) - mean * mean));
}

} // namespace vistrel::hwtest
