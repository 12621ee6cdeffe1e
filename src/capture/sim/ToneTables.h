#pragma once
// The picture adjustments of a simulated device, folded into per-channel tables so a frame costs
// three look-ups and a saturation mix per pixel.
#include <array>
#include <cstdint>

#include "capture/sim/RgbImage.h"

namespace vistrel::sim {

enum class Sensor {
    Camera,        // sees the scene itself
    FilmAsIs,      // the scanner in film mode 0: the film's own colours
    FilmInverted,  // the scanner in film mode 1: the negative inverted in hardware
};

struct ToneSettings {
    Sensor sensor = Sensor::Camera;
    std::int32_t brightness = 0;   // -64..64: an offset in levels
    std::int32_t contrast = 50;    // 0..100: slope 0.5 + contrast / 100 around mid grey
    std::int32_t saturation = 50;  // 0..100: 50 leaves colours as they are, 0 is grey
    std::int32_t gamma = 300;      // 100..500: 300 is linear, higher lifts the mid tones
    std::array<std::int32_t, 3> gains {128, 128, 128}; // red, green, blue; 128 is unity
};

enum class PixelLayout {
    Rgb,           // packed R G B, rows top to bottom
    BgrxBottomUp,  // 32-bit B G R x, last row first (a bottom-up RGB32 bitmap)
};

class ToneTables {
public:
    explicit ToneTables(const ToneSettings& settings);

    // Level of one channel for a sensor value, before the saturation mix (not clamped).
    std::int32_t Level(int channel, std::uint8_t sensorValue) const { return channels[channel][sensorValue]; }
    // sensor and out have the same size; out holds width * height * (3 or 4) bytes.
    void Apply(const RgbImage& sensor, std::uint8_t* out, PixelLayout layout) const;
    const ToneSettings& Settings() const { return settings; }

private:
    template <bool Bgrx, bool Saturate>
    void ApplyRows(const RgbImage& sensor, std::uint8_t* out) const;

    ToneSettings settings;
    std::array<std::array<std::int16_t, 256>, 3> channels {};
    std::int32_t saturation256 = 256;
};

} // namespace vistrel::sim
