#include "capture/engine/PinLookup.h"

#include <vector>

#include "capture/contract/PinCategory.h"

namespace vistrel {

std::shared_ptr<IPin> FindStillPin(const std::shared_ptr<IBaseFilter>& filter)
{
    if (!filter)
        return nullptr;
    std::vector<std::shared_ptr<IPin>> pins;
    if (Failed(filter->EnumPins(&pins)))
        return nullptr;
    for (const auto& pin : pins) {
        if (PinHasCategory(pin, PIN_CATEGORY_STILL))
            return pin;
    }
    return nullptr;
}

std::shared_ptr<IPin> FirstOutputPin(const std::shared_ptr<IBaseFilter>& filter)
{
    if (!filter)
        return nullptr;
    std::vector<std::shared_ptr<IPin>> pins;
    if (Failed(filter->EnumPins(&pins)))
        return nullptr;
    for (const auto& pin : pins) {
        PinDirection direction {};
        if (Succeeded(pin->QueryDirection(&direction)) && direction == PinDirection::Output)
            return pin;
    }
    return nullptr;
}

} // namespace vistrel
