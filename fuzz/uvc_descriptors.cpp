// The USB descriptors a device hands over: the first byte picks the control interface asked for, the
// rest is the descriptor set. Nothing may be read outside it, whatever the lengths claim.
#include "capture/v4l2/UvcDescriptors.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    using namespace vistrel::v4l2;
    const auto function = ParseUvcFunction(std::span(data + 1, size - 1), data[0]);
    if (!function)
        return 0;
    if (function->controlInterface != data[0])
        std::abort();
    for (const UvcExtensionUnit& unit : function->extensionUnits) {
        // Every bit a unit can declare is asked for, as identification does.
        for (unsigned bit = 0; bit < 8u * 255u; ++bit)
            (void)unit.controls.Has(bit);
    }
    return 0;
}
