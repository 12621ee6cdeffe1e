#pragma once
// The filter graph manager's events (IMediaEventEx) as the contract's event path: the still button a
// capture filter raises, and whatever else the graph reports, reach the engine's handler.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <memory>

#include "capture/contract/Graph.h"

namespace vistrel::dshow {

// Made on the thread that owns the graph (the window thread, in its single-threaded apartment); the
// handler runs there too, from that thread's message loop, and is only ever replaced there.
std::shared_ptr<vistrel::IMediaEventEx> MakeGraphEvents(Microsoft::WRL::ComPtr<::IMediaEventEx> native);

} // namespace vistrel::dshow
