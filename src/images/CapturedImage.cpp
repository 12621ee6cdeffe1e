#include "images/CapturedImage.h"

#include <atomic>

namespace vistrel {

std::uint64_t NextImageId()
{
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

} // namespace vistrel
