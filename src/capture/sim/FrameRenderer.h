#pragma once
// Renders a simulated device's sensor view with its current adjustments in a video format. A frame whose
// picture, adjustments and format are those of the previous one is kept as it is.
#include <cstdint>
#include <memory>
#include <vector>

#include "capture/contract/MediaType.h"
#include "capture/sim/JpegEncoder.h"
#include "capture/sim/RgbImage.h"
#include "capture/sim/ToneTables.h"

namespace vistrel::sim {

class SimulatedDevice;

// JPEG qualities of the live picture and of stills.
constexpr int kStillQuality = 92;
constexpr int kLiveJpegQuality = 80;

class FrameRenderer {
public:
    FrameRenderer(SimulatedDevice& device, int quality) : device(device), quality(quality) {}

    // RGB32 (bottom-up) or MJPG frames; none for other formats or on failure.
    const std::vector<std::uint8_t>* Render(const MediaType& type);

private:
    SimulatedDevice& device;
    const int quality;
    JpegEncoder encoder;
    std::vector<std::uint8_t> rgb, out;
    std::shared_ptr<const RgbImage> lastSensor;
    std::shared_ptr<const ToneTables> lastTones;
    Guid lastSubType;
};

} // namespace vistrel::sim
