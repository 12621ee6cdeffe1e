#pragma once
// Whether a pin's AMPROPERTY_PIN_CATEGORY (read through its IKsPropertySet) is the category; a pin
// without the property set has none. The graph builder and the engine test pins the same way.
#include <memory>

#include "capture/contract/Filter.h"

namespace vistrel {

inline bool PinHasCategory(const std::shared_ptr<IPin>& pin, const Guid& category)
{
    const auto properties = pin->QueryKsPropertySet();
    if (!properties)
        return false;
    Guid pinCategory;
    std::uint32_t returned = 0;
    const HRESULT hr = properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &pinCategory,
                                       sizeof pinCategory, &returned);
    return Succeeded(hr) && pinCategory == category;
}

} // namespace vistrel
