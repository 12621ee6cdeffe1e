#include "capture/usb/AlternateSetting.h"

#include <algorithm>

namespace vistrel::usb {

std::optional<IsochronousSetting> ChooseAlternateSetting(const v4l2::UvcStreamingInterface& interface,
                                                         std::uint32_t maxPayloadTransferSize)
{
    const std::uint32_t needed = std::max<std::uint32_t>(1, maxPayloadTransferSize);
    std::optional<IsochronousSetting> best;
    for (const auto& setting : interface.alternates) {
        const v4l2::UvcEndpoint* endpoint = interface.VideoEndpoint(setting.alternate);
        if (!endpoint || endpoint->Transfer() != v4l2::UvcTransfer::Isochronous)
            continue;
        const std::uint32_t bytes = endpoint->BytesPerInterval();
        if (bytes >= needed && (!best || bytes < best->bytesPerPacket))
            best = IsochronousSetting {setting.alternate, endpoint->address, bytes};
    }
    return best;
}

} // namespace vistrel::usb
