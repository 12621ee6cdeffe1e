#pragma once
// The colour negative the simulated scanner holds: the scene inverted, on an orange film base.
#include <array>

#include "capture/sim/RgbImage.h"

namespace vistrel::sim {

struct NegativeFilm {
    // Transmission of the clear film base per channel (what an unexposed frame looks like).
    static constexpr std::array<double, 3> kBase {240.0, 150.0, 95.0};
    // Fraction of the base that the brightest scene light blocks.
    static constexpr double kDensityRange = 0.92;
    // The scanner's own inversion leaves a cyan-blue cast, which the negative preset's colour gains
    // (red 145, green 110, blue 100) cancel: cast = 100 / gain for each channel.
    static constexpr std::array<double, 3> kInversionCast {100.0 / 145.0, 100.0 / 110.0, 1.0};

    // Film transmission (0..255) of a scene value (0..1) in channel c.
    static double Expose(double scene, int c) { return kBase[c] * (1.0 - kDensityRange * scene); }
    // The scanner's hardware inversion of a film value (0..255) back to a scene value with its cast.
    static double Invert(double film, int c);

    static RgbImage Expose(const RgbImage& scene);
};

} // namespace vistrel::sim
