// A still as the scanner delivers it. The check on arrival must not crash or over-read, and a still it
// accepts must decode, at full size and scaled, as rendering and saving will decode it.
#include "images/DecodedStill.h"
#include "images/StillCheck.h"

#include <cstdlib>

namespace {

// Decoding a claimed size is bounded by the check; a smaller bound keeps each run quick.
constexpr std::int64_t kMaxFuzzedPixels = 4'000'000;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vistrel;
    if (size > static_cast<std::size_t>(INT32_MAX))
        return 0;
    const auto length = static_cast<std::int32_t>(size);
    std::int32_t width = 0, height = 0;
    const StillCheck check = CheckStill(data, length, &width, &height);
    if (check != StillCheck::Ok || static_cast<std::int64_t>(width) * height > kMaxFuzzedPixels)
        return 0;
    for (const std::int32_t needed : {width, 88}) {
        DecodedStill still;
        Reason reason;
        if (Failed(DecodeStill(data, length, width, height, needed, needed, &still, &reason)))
            std::abort();   // accepted on arrival, yet it cannot be shown or saved
        if (still.width <= 0 || still.height <= 0 || still.stride < 4 * still.width)
            std::abort();
    }
    return 0;
}
