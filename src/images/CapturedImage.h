#pragma once
#include "images/CaptureTime.h"

#include <QImage>

#include <cstdint>
#include <memory>
#include <vector>

namespace vistrel {

using FrameBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

// One entry of the strip: the still's bytes as delivered, the settings in force when it arrived,
// its orientation and the two rendered bitmaps.
struct CapturedImage
{
    std::uint64_t id = 0;                // stable identity; 0 = let the strip assign one
    FrameBytes frameData;                // shared with save workers, never modified
    std::int32_t frameSize = 0;
    CaptureTime captureTime;
    std::int32_t filmType = 0, filmSize = 0, resolution = 0, frameWidth = 0, frameHeight = 0;
    std::int32_t mirrored = 0, rotation = 0;
    QImage thumbnail, preview;           // null = absent
};

// A fresh process-wide identity for an entry.
std::uint64_t NextImageId();

} // namespace vistrel
