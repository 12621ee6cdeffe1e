#pragma once

#include <cstdint>

namespace vistrel {

constexpr std::uint32_t kErrorSuccess = 0;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr std::uint32_t kErrorResourceNameNotFound = 1814;

// The calling thread's last error code, as the platform keeps it per thread.
std::uint32_t GetLastError();
void SetLastError(std::uint32_t code);

} // namespace vistrel
