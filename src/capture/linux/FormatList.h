#pragma once
// A device's V4L2 frame formats as the media types its pins offer.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "capture/contract/MediaType.h"

namespace vistrel::lnx {

struct FrameFormat
{
    std::uint32_t fourcc = 0; // V4L2 pixel format
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t intervalNumerator = 0; // seconds per frame as a fraction; 0/0 when unknown
    std::uint32_t intervalDenominator = 0;

    friend bool operator==(const FrameFormat&, const FrameFormat&) = default;
};

// The frame a driver reports in unsigned sizes; none when a size does not fit our signed 32-bit fields
// (a stepwise range may end anywhere up to 2^32 - 1).
std::optional<FrameFormat> FrameFormatOfSize(std::uint32_t fourcc, std::uint32_t width, std::uint32_t height);

// A format as a pin lists it, with the device format that produces it.
struct PinFormat
{
    FrameFormat source;
    MediaType type;
};

// MJPG (and plain JPEG) and YUYV are the formats we stream; others have no subtype.
std::optional<Guid> SubtypeForFourcc(std::uint32_t fourcc);
std::int64_t ReferenceTimePerFrame(const FrameFormat& frame); // 100 ns units, 0 when unknown
MediaType VideoInfoType(const FrameFormat& frame, const Guid& subType);
// Bytes of one uncompressed frame, clamped to 0 .. INT32_MAX (the header's field).
std::int32_t ImageSize(const FrameFormat& frame, std::uint16_t bitCount);

// The capture pin: compressed formats first (they fit the USB bus at any size), each in device order.
std::vector<PinFormat> CaptureFormats(std::span<const FrameFormat> frames);
// The still pin: every frame size once, delivered as JPEG, taken from MJPG where the device has it.
std::vector<PinFormat> StillFormats(std::span<const FrameFormat> frames);
// Index of the format with the most pixels (the first of equals); formats must not be empty.
std::size_t LargestFormat(std::span<const PinFormat> formats);
// The listed format a complete video-info type names (subtype and size).
std::optional<std::size_t> FindFormat(std::span<const PinFormat> formats, const MediaType& type);

} // namespace vistrel::lnx
