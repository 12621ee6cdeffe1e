#pragma once
// The streaming interface's probe and commit controls: the video control (26 bytes in UVC 1.0, 34 in
// 1.1, 48 in 1.5) and the still control (11 bytes), their byte layout, and the values to probe for a
// frame or still size the descriptors declare.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "capture/uvc/UvcDescriptors.h"

namespace vistrel::uvc {


constexpr std::size_t kVideoProbeLength10 = 26;
constexpr std::size_t kVideoProbeLength11 = 34;
constexpr std::size_t kVideoProbeLength15 = 48;
constexpr std::size_t kStillProbeLength = 11;

// bmHint: keep the frame interval while the device negotiates the rest.
constexpr std::uint16_t kHintFrameInterval = 0x0001;
// bmFramingInfo (1.1 and later).
constexpr std::uint8_t kFramingFidRequired = 0x01;
constexpr std::uint8_t kFramingEofPresent = 0x02;

// The probe/commit length for a function's bcdUVC.
std::size_t VideoProbeLength(std::uint16_t uvcVersion);

struct VideoProbe
{
    std::uint16_t hint = 0;
    std::uint8_t formatIndex = 0;
    std::uint8_t frameIndex = 0;
    std::uint32_t frameInterval = 0; // 100 ns units
    std::uint16_t keyFrameRate = 0;
    std::uint16_t pFrameRate = 0;
    std::uint16_t compQuality = 0;
    std::uint16_t compWindowSize = 0;
    std::uint16_t delay = 0;
    std::uint32_t maxVideoFrameSize = 0;
    std::uint32_t maxPayloadTransferSize = 0;
    // UVC 1.1
    std::uint32_t clockFrequency = 0;
    std::uint8_t framingInfo = 0;
    std::uint8_t preferredVersion = 0;
    std::uint8_t minVersion = 0;
    std::uint8_t maxVersion = 0;
    // UVC 1.5
    std::uint8_t usage = 0;
    std::uint8_t bitDepthLuma = 0;
    std::uint8_t settings = 0;
    std::uint8_t maxNumberOfRefFramesPlus1 = 0;
    std::uint16_t rateControlModes = 0;
    std::uint64_t layoutPerStream = 0;

    // Whether every frame's last payload carries EOF (what the payload assembler is told).
    bool EofMarksFrames() const { return framingInfo & kFramingEofPresent; }

    friend bool operator==(const VideoProbe&, const VideoProbe&) = default;
};

// length is 26, 34 or 48; fields past it are left out.
std::vector<std::uint8_t> EncodeVideoProbe(const VideoProbe& probe, std::size_t length);
// None when shorter than the 26 bytes of UVC 1.0; fields the answer does not reach stay 0.
std::optional<VideoProbe> DecodeVideoProbe(std::span<const std::uint8_t> bytes);

struct StillProbe
{
    std::uint8_t formatIndex = 0;
    std::uint8_t frameIndex = 0;       // 1-based in the format's still-image frame descriptor
    std::uint8_t compressionIndex = 0; // 1-based; 0 when the descriptor lists no compression
    std::uint32_t maxVideoFrameSize = 0;
    std::uint32_t maxPayloadTransferSize = 0;

    friend bool operator==(const StillProbe&, const StillProbe&) = default;
};

std::vector<std::uint8_t> EncodeStillProbe(const StillProbe& probe);
std::optional<StillProbe> DecodeStillProbe(std::span<const std::uint8_t> bytes);

// The probe that asks for a frame size in a format kind: the first format of that kind holding the
// size, at the frame's shortest interval (the fastest rate). None when no frame has that size.
std::optional<VideoProbe> VideoProbeFor(const UvcStreamingInterface& interface, UvcFormatKind kind,
                                        std::uint16_t width, std::uint16_t height);

// The still probe for a still size: looked for in preferredFormat first (the committed video format),
// then in every other format. None when no still-image frame descriptor lists the size.
std::optional<StillProbe> StillProbeFor(const UvcStreamingInterface& interface, std::uint16_t width,
                                        std::uint16_t height, std::uint8_t preferredFormat = 0);

// Repairs what devices get wrong in the committed control, as uvcvideo does: uncompressed formats (and
// any format whose device committed 0) take the frame descriptor's buffer size as the frame size; a
// payload size with all upper 16 bits set loses them.
void FixCommitted(VideoProbe& committed, const UvcStreamingInterface& interface);

} // namespace vistrel::uvc
