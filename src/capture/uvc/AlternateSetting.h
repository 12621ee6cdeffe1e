#pragma once
// The isochronous alternate setting to stream on: the smallest whose video endpoint carries the
// committed dwMaxPayloadTransferSize in one service interval, so the bus keeps bandwidth for others.
#include <cstdint>
#include <optional>

#include "capture/uvc/UvcStreamingDescriptors.h"

namespace vistrel::uvc {

struct IsochronousSetting
{
    std::uint8_t alternate = 0;
    std::uint8_t endpoint = 0;
    std::uint32_t bytesPerPacket = 0; // the endpoint's bytes per service interval: one packet's room

    friend bool operator==(const IsochronousSetting&, const IsochronousSetting&) = default;
};

// None when no setting is fast enough (or the interface has no isochronous video endpoint). A device
// that commits 0 bytes gets the smallest setting that has bandwidth at all.
std::optional<IsochronousSetting> ChooseAlternateSetting(const UvcStreamingInterface& interface,
                                                         std::uint32_t maxPayloadTransferSize);

} // namespace vistrel::uvc
