#pragma once
// A device's source filter, seen through the contract: its pins, run state, camera properties, still
// trigger and extension unit, each over the platform's own interface of the same name.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <memory>

#include "capture/contract/Filter.h"

namespace vistrel::dshow {

std::shared_ptr<vistrel::IBaseFilter> WrapFilter(Microsoft::WRL::ComPtr<::IBaseFilter> filter);
// A pin found outside its filter's EnumPins (the graph builder's FindPin); its filter is wrapped on demand.
std::shared_ptr<vistrel::IPin> WrapPin(Microsoft::WRL::ComPtr<::IPin> pin);

// The platform object behind a contract filter or pin made here; null for any other.
::IBaseFilter* NativeFilter(const vistrel::IBaseFilter& filter);
::IPin* NativePin(const vistrel::IPin& pin);

} // namespace vistrel::dshow
