#pragma once
#include "images/OrientationTransform.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vistrel {

// 4-byte pixels (B, G, R, X) in the still's own orientation.
struct PixelSource
{
    const std::uint8_t* pixels;
    std::int32_t width, height, stride;
};

struct PixelTarget
{
    std::uint8_t* pixels;
    std::int32_t width, height, stride;
};

// A rectangle of the oriented picture, in source pixels (may reach outside the picture).
struct SourceRect { double x, y, width, height; };
struct TargetRect { std::int32_t x, y, width, height; };

// Orients and scales in one pass: the oriented source rectangle is drawn into the target rectangle,
// bilinear, area-averaged where an axis shrinks by more than 2. Every pixel of the target rectangle is
// written: where it falls outside the picture it is black. The fourth byte is always 0xFF.
void ResampleOriented(const PixelSource& source, const OrientationOp& op, const SourceRect& from,
                      const PixelTarget& target, const TargetRect& to);

// The same drawing handed out a band of rows at a time, so that no caller needs the whole output:
// rows [first, first + count) of a width x height output go to out, one row every stride bytes.
// Bands may come in any order; each row equals the row ResampleOriented draws. The source must
// outlive the resampler.
class OrientedResampler
{
public:
    OrientedResampler(const PixelSource& source, const OrientationOp& op, const SourceRect& from, std::int32_t width,
                      std::int32_t height);
    ~OrientedResampler();
    OrientedResampler(const OrientedResampler&) = delete;
    OrientedResampler& operator=(const OrientedResampler&) = delete;

    void Rows(std::int32_t first, std::int32_t count, std::uint8_t* out, std::ptrdiff_t stride);

private:
    struct Axes;
    std::int32_t width, height;
    bool empty = true;
    std::unique_ptr<Axes> axes;
};

// Fills a rectangle with opaque black.
void FillBlack(const PixelTarget& target, const TargetRect& rect);

} // namespace vistrel
