#pragma once
#include <memory>
#include <vector>

#include "capture/contract/Platform.h"

namespace vistrel {

// The in-process platform: a device enumerator over the sources in order, the runtime's graph
// objects, and one notification hub fed by every source.
std::shared_ptr<ICapturePlatform> MakeCapturePlatform(std::vector<std::shared_ptr<IDeviceSource>> sources);

} // namespace vistrel
