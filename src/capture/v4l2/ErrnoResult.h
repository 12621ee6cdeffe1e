#pragma once
// How a failed device request (an errno) reads as a result code the engine understands.
#include <cstdint>

#include "capture/contract/Result.h"

namespace vistrel::v4l2 {

constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
constexpr std::uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr std::uint32_t ERROR_GEN_FAILURE = 31;
constexpr std::uint32_t ERROR_NOT_SUPPORTED = 50;
constexpr std::uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr std::uint32_t ERROR_SEM_TIMEOUT = 121;
constexpr std::uint32_t ERROR_IO_DEVICE = 1117;
constexpr std::uint32_t ERROR_SET_NOT_FOUND = 1170;

// Control requests: a busy unit is "not ready", worth asking again.
HRESULT ControlResultFromErrno(int error);
// Opening and starting a stream: a busy device is held by another program.
HRESULT StreamResultFromErrno(int error);

} // namespace vistrel::v4l2
