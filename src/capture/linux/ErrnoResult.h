#pragma once
// How a failed device request (an errno) reads as a result code the engine understands.
#include <cstdint>

#include "capture/contract/Result.h"

namespace vistrel::lnx {

// Control requests: a busy unit is "not ready", worth asking again.
HRESULT ControlResultFromErrno(int error);
// Opening and starting a stream: a busy device is held by another program.
HRESULT StreamResultFromErrno(int error);

} // namespace vistrel::lnx
