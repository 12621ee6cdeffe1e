#include "capture/engine/PinLookup.h"

#include <algorithm>
#include <vector>

#include "capture/contract/PinCategory.h"

namespace vistrel {
namespace {

template <class Test>
std::shared_ptr<IPin> FirstPin(const std::shared_ptr<IBaseFilter>& filter, Test test)
{
    if (!filter)
        return nullptr;
    std::vector<std::shared_ptr<IPin>> pins;
    if (Failed(filter->EnumPins(&pins)))
        return nullptr;
    const auto found = std::ranges::find_if(pins, test);
    return found == pins.end() ? nullptr : *found;
}

bool IsOutput(const std::shared_ptr<IPin>& pin)
{
    PinDirection direction {};
    return Succeeded(pin->QueryDirection(&direction)) && direction == PinDirection::Output;
}

} // namespace

std::shared_ptr<IPin> FindStillPin(const std::shared_ptr<IBaseFilter>& filter)
{
    return FirstPin(filter, [](const std::shared_ptr<IPin>& pin) { return PinHasCategory(pin, PIN_CATEGORY_STILL); });
}

std::shared_ptr<IPin> FirstOutputPin(const std::shared_ptr<IBaseFilter>& filter)
{
    return FirstPin(filter, IsOutput);
}

} // namespace vistrel
