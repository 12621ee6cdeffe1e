#pragma once
// The built-in picture: an asymmetric outdoor scene with colour patches and a grey ramp, so that a
// turned, mirrored or colour-swapped picture is obvious at a glance and measurable in tests.
#include <array>
#include <cstdint>

#include "capture/sim/RgbImage.h"

namespace vistrel::sim {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

struct PixelRect {
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    std::int32_t CentreX() const { return left + width / 2; }
    std::int32_t CentreY() const { return top + height / 2; }
};

enum class ScenePatch { Red, Green, Blue, Cyan, Magenta, Yellow };

class SyntheticScene {
public:
    static constexpr std::array<Rgb, 6> kPatchColours {{
        {220, 30, 30}, {30, 180, 40}, {30, 50, 210}, {40, 200, 210}, {200, 40, 190}, {235, 215, 40},
    }};
    static constexpr int kGreySteps = 8;
    static constexpr Rgb kSun {255, 215, 60};

    // The scene drawn at any size; layout is proportional to the picture.
    static RgbImage Render(std::int32_t width, std::int32_t height);

    // Where things are in a picture of the given size (the centre of each area is uniform).
    static PixelRect PatchRect(ScenePatch patch, std::int32_t width, std::int32_t height);
    static PixelRect GreyStepRect(int step, std::int32_t width, std::int32_t height); // 0 = black .. 7 = white
    static std::uint8_t GreyLevel(int step);
    static PixelRect SunRect(std::int32_t width, std::int32_t height);                // top left corner
};

} // namespace vistrel::sim
