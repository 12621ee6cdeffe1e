#pragma once
// The capture platform on Windows: DirectShow's own device enumerator, graph objects and device
// notifications. COM must be started on the thread that uses it (the window thread).
#include <memory>

#include "capture/contract/Platform.h"

namespace vistrel::dshow {

std::shared_ptr<vistrel::ICapturePlatform> MakeDshowPlatform();

} // namespace vistrel::dshow
