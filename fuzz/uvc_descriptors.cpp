// The USB descriptors a device hands over: the first byte picks the control interface asked for, the
// rest is the descriptor set. Nothing may be read outside it, whatever the lengths claim.
#include "capture/uvc/UvcDescriptors.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    using namespace vistrel::uvc;
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
    for (const UvcStreamingInterface& streaming : function->streaming) {
        (void)streaming.Bulk();
        for (const UvcAlternateSetting& setting : streaming.alternates) {
            if (const UvcEndpoint* endpoint = streaming.VideoEndpoint(setting.alternate))
                (void)endpoint->BytesPerInterval();
        }
        for (const UvcFormat& format : streaming.formats) {
            if (streaming.Format(format.index) == nullptr)
                std::abort();
            for (const UvcFrame& frame : format.frames) {
                // Continuous intervals come as minimum, maximum and step.
                if (frame.intervals.empty() || (frame.continuousIntervals && frame.intervals.size() != 3))
                    std::abort();
            }
        }
    }
    return 0;
}
