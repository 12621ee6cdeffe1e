#pragma once
#include <memory>

#include "capture/contract/Filter.h"

namespace vistrel {

// The first pin whose AMPROPERTY_PIN_CATEGORY is PIN_CATEGORY_STILL; pins without a property set are skipped.
std::shared_ptr<IPin> FindStillPin(const std::shared_ptr<IBaseFilter>& filter);
// The first pin whose direction is output.
std::shared_ptr<IPin> FirstOutputPin(const std::shared_ptr<IBaseFilter>& filter);

} // namespace vistrel
