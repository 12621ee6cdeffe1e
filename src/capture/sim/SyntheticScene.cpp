#include "capture/sim/SyntheticScene.h"

#include <algorithm>
#include <cmath>

namespace vistrel::sim {
namespace {

// Proportional layout (fractions of width and height).
constexpr double kHorizon = 0.55;
constexpr double kPatchTop = 0.76, kPatchBottom = 0.86, kPatchLeft = 0.05, kPatchRight = 0.65, kPatchGap = 0.012;
constexpr double kRampTop = 0.89, kRampBottom = 0.97, kRampLeft = 0.05, kRampRight = 0.95;
constexpr double kSunX = 0.14, kSunY = 0.17, kSunRadius = 0.09; // radius in units of the shorter side

struct FracRect {
    double left, top, right, bottom;
    bool Contains(double u, double v) const { return u >= left && u < right && v >= top && v < bottom; }
};

// The letter F (stem, top arm, middle arm) in the sky, right of centre.
constexpr std::array<FracRect, 3> kLetterF {{
    {0.60, 0.10, 0.65, 0.48}, {0.60, 0.10, 0.80, 0.16}, {0.60, 0.26, 0.74, 0.32},
}};
// An arrow on the ground pointing right: shaft, then a head narrowing towards its tip.
constexpr FracRect kArrowShaft {0.68, 0.63, 0.84, 0.67};
constexpr double kArrowHeadLeft = 0.84, kArrowHeadRight = 0.94, kArrowCentre = 0.65, kArrowHalfHeight = 0.06;

constexpr Rgb kLetter {20, 20, 28};
constexpr Rgb kArrow {245, 245, 240};

FracRect PatchFrac(int index)
{
    const double width = (kPatchRight - kPatchLeft) / double(SyntheticScene::kPatchColours.size());
    const double left = kPatchLeft + width * index;
    return {left, kPatchTop, left + width - kPatchGap, kPatchBottom};
}

FracRect GreyFrac(int step)
{
    const double width = (kRampRight - kRampLeft) / SyntheticScene::kGreySteps;
    const double left = kRampLeft + width * step;
    return {left, kRampTop, left + width, kRampBottom};
}

PixelRect ToPixels(const FracRect& f, std::int32_t w, std::int32_t h)
{
    auto x0 = std::int32_t(std::ceil(f.left * w)), x1 = std::int32_t(std::ceil(f.right * w));
    auto y0 = std::int32_t(std::ceil(f.top * h)), y1 = std::int32_t(std::ceil(f.bottom * h));
    return {x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

Rgb Mix(Rgb a, Rgb b, double t)
{
    auto lerp = [t](std::uint8_t x, std::uint8_t y) { return std::uint8_t(std::lround(x + (y - x) * t)); };
    return {lerp(a.r, b.r), lerp(a.g, b.g), lerp(a.b, b.b)};
}

Rgb Background(double v)
{
    if (v < kHorizon)
        return Mix({60, 115, 200}, {180, 210, 238}, v / kHorizon);
    return Mix({70, 135, 55}, {105, 80, 45}, (v - kHorizon) / (1.0 - kHorizon));
}

// Paints the pixels of one row whose centres u = (x + 0.5) / width lie in [left, right).
void PaintSpan(std::uint8_t* row, std::int32_t width, double left, double right, Rgb c)
{
    const auto x0 = std::max<std::int32_t>(0, std::int32_t(std::ceil(left * width - 0.5)));
    const auto x1 = std::min<std::int32_t>(width, std::int32_t(std::ceil(right * width - 0.5)));
    for (std::int32_t x = x0; x < x1; ++x) {
        row[3 * x] = c.r;
        row[3 * x + 1] = c.g;
        row[3 * x + 2] = c.b;
    }
}

void PaintRect(std::uint8_t* row, std::int32_t width, double v, const FracRect& r, Rgb c)
{
    if (v >= r.top && v < r.bottom)
        PaintSpan(row, width, r.left, r.right, c);
}

// One row, painted back to front: sky or ground, sun, arrow, letter, grey ramp, colour patches.
void RenderRow(std::uint8_t* row, std::int32_t width, double v, double aspect)
{
    PaintSpan(row, width, 0.0, 1.0, Background(v));
    // The sun keeps its round shape whatever the picture's aspect.
    const double dy = (v - kSunY) * std::max(1.0 / aspect, 1.0);
    if (std::abs(dy) < kSunRadius) {
        const double half = std::sqrt(kSunRadius * kSunRadius - dy * dy) / std::max(aspect, 1.0);
        PaintSpan(row, width, kSunX - half, kSunX + half, SyntheticScene::kSun);
    }
    const double headReach = kArrowHalfHeight - std::abs(v - kArrowCentre);
    if (headReach > 0) {
        const double tip = kArrowHeadRight - (kArrowHeadRight - kArrowHeadLeft) * (1.0 - headReach / kArrowHalfHeight);
        PaintSpan(row, width, kArrowHeadLeft, tip, kArrow);
    }
    PaintRect(row, width, v, kArrowShaft, kArrow);
    for (const auto& r : kLetterF)
        PaintRect(row, width, v, r, kLetter);
    for (int s = 0; s < SyntheticScene::kGreySteps; ++s) {
        const auto g = SyntheticScene::GreyLevel(s);
        PaintRect(row, width, v, GreyFrac(s), {g, g, g});
    }
    for (std::size_t i = 0; i < SyntheticScene::kPatchColours.size(); ++i)
        PaintRect(row, width, v, PatchFrac(int(i)), SyntheticScene::kPatchColours[i]);
}

} // namespace

std::uint8_t SyntheticScene::GreyLevel(int step)
{
    return std::uint8_t(std::clamp(step, 0, kGreySteps - 1) * 255 / (kGreySteps - 1));
}

RgbImage SyntheticScene::Render(std::int32_t width, std::int32_t height)
{
    RgbImage image(width, height);
    const double aspect = height > 0 ? double(width) / height : 1.0;
    for (std::int32_t y = 0; y < height; ++y)
        RenderRow(image.Row(y), width, (y + 0.5) / height, aspect);
    return image;
}

PixelRect SyntheticScene::PatchRect(ScenePatch patch, std::int32_t width, std::int32_t height)
{
    return ToPixels(PatchFrac(int(patch)), width, height);
}

PixelRect SyntheticScene::GreyStepRect(int step, std::int32_t width, std::int32_t height)
{
    return ToPixels(GreyFrac(step), width, height);
}

PixelRect SyntheticScene::SunRect(std::int32_t width, std::int32_t height)
{
    const double shorter = std::min(width, height);
    const auto r = std::int32_t(kSunRadius * shorter * 0.7);
    return {std::int32_t(kSunX * width) - r, std::int32_t(kSunY * height) - r, 2 * r, 2 * r};
}

} // namespace vistrel::sim
