#include "capture/sim/FrameRenderer.h"

#include "capture/sim/SimulatedDevice.h"

namespace vistrel::sim {

const std::vector<std::uint8_t>* FrameRenderer::Render(const MediaType& type)
{
    std::int32_t width = 0, height = 0;
    if (!ReadVideoInfoSize(type, width, height) || width <= 0 || height <= 0)
        return nullptr;
    const auto sensor = device.SensorImage(width, height);
    const auto tones = device.Tones();
    if (sensor == lastSensor && tones == lastTones && type.subType == lastSubType && !out.empty())
        return &out;
    lastSensor = sensor;
    lastTones = tones;
    lastSubType = type.subType;
    out.clear();
    if (type.subType == MEDIASUBTYPE_RGB32) {
        out.resize(std::size_t(width) * std::size_t(height) * 4);
        tones->Apply(*sensor, out.data(), PixelLayout::BgrxBottomUp);
    } else if (type.subType == MEDIASUBTYPE_MJPG) {
        rgb.resize(std::size_t(width) * std::size_t(height) * 3);
        tones->Apply(*sensor, rgb.data(), PixelLayout::Rgb);
        if (!encoder.Encode(rgb.data(), width, height, quality, &out))
            out.clear();
    }
    return out.empty() ? nullptr : &out;
}

} // namespace vistrel::sim
