#pragma once
// Chooses the capture backend at start: the simulated devices named by VISTREL_SIMULATOR, or the
// real devices when it is not set.
#include <memory>

#include "capture/contract/Platform.h"

namespace vistrel {

// VISTREL_SIMULATOR: device list ("scanner", "camera,scanner", ...); VISTREL_SIMULATOR_IMAGE: the
// picture the simulated devices show; VISTREL_SIMULATOR_CONTROL: a FIFO accepting simulator commands.
// Null when no backend is available in this build.
std::shared_ptr<ICapturePlatform> MakePlatformFromEnvironment();

} // namespace vistrel
