#include "capture/uvc/AlternateSetting.h"

#include <algorithm>

namespace vistrel::uvc {

std::optional<IsochronousSetting> ChooseAlternateSetting(const UvcStreamingInterface& interface,
                                                         std::uint32_t maxPayloadTransferSize)
{
    const std::uint32_t needed = std::max<std::uint32_t>(1, maxPayloadTransferSize);
    std::optional<IsochronousSetting> best;
    for (const auto& setting : interface.alternates) {
        const UvcEndpoint* endpoint = interface.VideoEndpoint(setting.alternate);
        if (!endpoint || endpoint->Transfer() != UvcTransfer::Isochronous)
            continue;
        const std::uint32_t bytes = endpoint->BytesPerInterval();
        if (bytes >= needed && (!best || bytes < best->bytesPerPacket))
            best = IsochronousSetting {setting.alternate, endpoint->address, bytes};
    }
    return best;
}

} // namespace vistrel::uvc
