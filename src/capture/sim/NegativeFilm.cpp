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
    const std::uint8_t* in = scene.pixels.data();
    std::uint8_t* out = film.pixels.data();
    for (std::size_t i = 0; i + 2 < scene.pixels.size(); i += 3) {
        out[i] = table[0][in[i]];
        out[i + 1] = table[1][in[i + 1]];
        out[i + 2] = table[2][in[i + 2]];
    }
    return film;
}

} // namespace vistrel::sim
