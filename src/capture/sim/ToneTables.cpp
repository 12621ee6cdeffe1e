#include "capture/sim/ToneTables.h"

#include <algorithm>
#include <cmath>

#include "capture/sim/NegativeFilm.h"

namespace vistrel::sim {
namespace {

inline std::uint8_t Clamp8(std::int32_t v)
{
    return std::uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

constexpr double kLinearGamma = 300.0;
constexpr double kUnityGain = 128.0;
constexpr std::int32_t kNeutralSaturation = 50;

double SensorSignal(Sensor sensor, std::uint8_t value, int channel)
{
    switch (sensor) {
    case Sensor::FilmInverted:
        return NegativeFilm::Invert(value, channel);
    case Sensor::Camera:
    case Sensor::FilmAsIs:
        break;
    }
    return value / 255.0;
}

} // namespace

ToneTables::ToneTables(const ToneSettings& s) : settings(s)
{
    const double exponent = kLinearGamma / std::max(1, s.gamma);
    const double slope = 0.5 + std::clamp(s.contrast, 0, 100) / 100.0;
    const double offset = s.brightness / 255.0;
    for (int c = 0; c < 3; ++c) {
        for (int v = 0; v < 256; ++v) {
            double x = SensorSignal(s.sensor, std::uint8_t(v), c) * std::max(0, s.gains[c]) / kUnityGain;
            x = std::pow(std::clamp(x, 0.0, 1.0), exponent);
            x = (x - 0.5) * slope + 0.5 + offset;
            channels[c][v] = std::int16_t(std::clamp(std::lround(x * 255.0), -1024L, 1024L));
        }
    }
    saturation256 = std::clamp(s.saturation, 0, 100) * 256 / kNeutralSaturation;
}

template <bool Bgrx, bool Saturate>
void ToneTables::ApplyRows(const RgbImage& sensor, std::uint8_t* out) const
{
    const auto& red = channels[0];
    const auto& green = channels[1];
    const auto& blue = channels[2];
    const std::int32_t sat = saturation256;
    constexpr std::size_t kOutBytes = Bgrx ? 4 : 3;
    const std::size_t outRow = std::size_t(sensor.width) * kOutBytes;
    for (std::int32_t y = 0; y < sensor.height; ++y) {
        const std::uint8_t* in = sensor.Row(y);
        std::uint8_t* o = out + outRow * std::size_t(Bgrx ? sensor.height - 1 - y : y);
        for (std::int32_t x = 0; x < sensor.width; ++x, in += 3, o += kOutBytes) {
            std::int32_t r = red[in[0]], g = green[in[1]], b = blue[in[2]];
            if constexpr (Saturate) {
                const std::int32_t luma = (77 * r + 150 * g + 29 * b) >> 8;
                r = luma + (((r - luma) * sat) >> 8);
                g = luma + (((g - luma) * sat) >> 8);
                b = luma + (((b - luma) * sat) >> 8);
            }
            if constexpr (Bgrx) {
                o[0] = Clamp8(b);
                o[1] = Clamp8(g);
                o[2] = Clamp8(r);
                o[3] = 0xFF;
            } else {
                o[0] = Clamp8(r);
                o[1] = Clamp8(g);
                o[2] = Clamp8(b);
            }
        }
    }
}

void ToneTables::Apply(const RgbImage& sensor, std::uint8_t* out, PixelLayout layout) const
{
    const bool saturate = saturation256 != 256;
    if (layout == PixelLayout::BgrxBottomUp)
        saturate ? ApplyRows<true, true>(sensor, out) : ApplyRows<true, false>(sensor, out);
    else
        saturate ? ApplyRows<false, true>(sensor, out) : ApplyRows<false, false>(sensor, out);
}

} // namespace vistrel::sim
