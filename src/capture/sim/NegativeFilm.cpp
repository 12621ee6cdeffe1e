#include "capture/sim/NegativeFilm.h"

#include <algorithm>
#include <cmath>

namespace vistrel::sim {

double NegativeFilm::Invert(double film, int c)
{
    const double scene = (1.0 - film / kBase[c]) / kDensityRange;
    return std::clamp(scene, 0.0, 1.0) * kInversionCast[c];
}

RgbImage NegativeFilm::Expose(const RgbImage& scene)
{
    std::array<std::array<std::uint8_t, 256>, 3> table {};
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            table[c][v] = std::uint8_t(std::lround(std::clamp(Expose(v / 255.0, c), 0.0, 255.0)));
    RgbImage film(scene.width, scene.height);
    for (std::size_t i = 0; i < scene.pixels.size(); ++i)
        film.pixels[i] = table[i % 3][scene.pixels[i]];
    return film;
}

} // namespace vistrel::sim
