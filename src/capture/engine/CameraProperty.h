#pragma once
#include <cstdint>

namespace vistrel {

// One slot of the camera-property table. Family 0 = video proc amp, family 1 = camera control;
// the slot index is the property id within its family.
struct CameraProperty {
    bool inUse = false;
    bool supported = false;
    std::int32_t controlKind = 0; // 0 slider with caption and value text, 1 radio group
    int captionId = 0;
    int sliderId = 0;
    int valueTextId = 0;
    int firstRadioId = 0;
    int lastRadioId = 0;
    std::int32_t pageSize = 0;
    std::int32_t value = 0;
    std::int32_t flags = 0;
    std::int32_t minimum = 0;
    std::int32_t maximum = 0;
    std::int32_t step = 0;
    std::int32_t defaultValue = 0;
    std::int32_t capsFlags = 0;   // bit 0: automatic mode possible
    int family = 0;
    int index = 0;
};

constexpr std::int32_t kSliderControl = 0;
constexpr std::int32_t kRadioGroupControl = 1;
constexpr int kVideoProcAmpFamily = 0;
constexpr int kCameraControlFamily = 1;

} // namespace vistrel
