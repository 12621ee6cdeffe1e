#include "capture/uvc/UvcStreamingDescriptors.h"

#include <linux/usb/video.h>

#include <algorithm>

#include "capture/uvc/LittleEndian.h"
#include "capture/uvc/UvcDescriptors.h"

namespace vistrel::uvc {

namespace {

constexpr std::uint8_t kVsInputHeader = UVC_VS_INPUT_HEADER;
constexpr std::uint8_t kVsStillImageFrame = UVC_VS_STILL_IMAGE_FRAME;
constexpr std::uint8_t kVsFormatUncompressed = UVC_VS_FORMAT_UNCOMPRESSED;
constexpr std::uint8_t kVsFrameUncompressed = UVC_VS_FRAME_UNCOMPRESSED;
constexpr std::uint8_t kVsFormatMjpeg = UVC_VS_FORMAT_MJPEG;
constexpr std::uint8_t kVsFrameMjpeg = UVC_VS_FRAME_MJPEG;
constexpr std::uint8_t kVsFormatFrameBased = UVC_VS_FORMAT_FRAME_BASED;
constexpr std::uint8_t kVsFrameFrameBased = UVC_VS_FRAME_FRAME_BASED;

// Input header.
constexpr std::size_t kHeaderEndpoint = 6;
constexpr std::size_t kHeaderStillMethod = 9;
constexpr std::size_t kHeaderTriggerSupport = 10;

// Format descriptors.
constexpr std::size_t kFormatIndex = 3;
constexpr std::size_t kFormatGuid = 5;
constexpr std::size_t kFormatBitsPerPixel = 21;
constexpr std::size_t kFormatDefaultFrame = 22;
constexpr std::size_t kMjpegDefaultFrame = 6;
constexpr std::size_t kMjpegFormatLength = 11;
constexpr std::size_t kGuidFormatLength = 27; // uncompressed; frame-based has one byte more

// Frame descriptors: uncompressed and MJPEG share a layout, frame-based lacks the buffer size.
constexpr std::size_t kFrameIndex = 3;
constexpr std::size_t kFrameWidth = 5;
constexpr std::size_t kFrameHeight = 7;
constexpr std::size_t kFrameBufferSize = 17;
constexpr std::size_t kFrameDefaultInterval = 21;
constexpr std::size_t kFrameIntervalType = 25;
constexpr std::size_t kFrameBasedDefaultInterval = 17;
constexpr std::size_t kFrameBasedIntervalType = 21;
constexpr std::size_t kFrameIntervals = 26;
constexpr std::size_t kContinuousIntervalValues = 3;

// Still-image frame.
constexpr std::size_t kStillEndpoint = 3;
constexpr std::size_t kStillSizeCount = 4;
constexpr std::size_t kStillSizes = 5;
constexpr std::size_t kStillSizeBytes = 4;

// Endpoint and SuperSpeed companion.
constexpr std::size_t kEndpointLength = 7;
constexpr std::size_t kCompanionLength = 6;
constexpr std::size_t kCompanionBytesPerInterval = 4;
constexpr std::uint16_t kPacketSizeMask = 0x07FF;
constexpr unsigned kExtraTransactionsShift = 11;
constexpr std::uint16_t kExtraTransactionsMask = 0x03;

void AddFormat(UvcStreamingInterface& s, std::span<const std::uint8_t> d, std::uint8_t subtype)
{
    UvcFormat format;
    if (subtype == kVsFormatMjpeg) {
        if (d.size() < kMjpegFormatLength)
            return;
        format.kind = UvcFormatKind::Mjpeg;
        format.defaultFrameIndex = d[kMjpegDefaultFrame];
    } else {
        if (d.size() < kGuidFormatLength)
            return;
        format.kind = subtype == kVsFormatUncompressed ? UvcFormatKind::Uncompressed : UvcFormatKind::FrameBased;
        format.guid = GuidFromBytes(d.subspan<kFormatGuid, 16>());
        format.bitsPerPixel = d[kFormatBitsPerPixel];
        format.defaultFrameIndex = d[kFormatDefaultFrame];
    }
    format.index = d[kFormatIndex];
    s.formats.push_back(std::move(format));
}

void AddFrame(UvcFormat& format, std::span<const std::uint8_t> d, bool frameBased)
{
    const std::size_t typeAt = frameBased ? kFrameBasedIntervalType : kFrameIntervalType;
    if (d.size() < kFrameIntervals)
        return;
    const std::size_t type = d[typeAt];
    const std::size_t values = type == 0 ? kContinuousIntervalValues : type;
    if (d.size() < kFrameIntervals + 4 * values)
        return;
    UvcFrame frame;
    frame.index = d[kFrameIndex];
    frame.width = Le16(d, kFrameWidth);
    frame.height = Le16(d, kFrameHeight);
    frame.maxFrameBufferSize = frameBased ? 0 : Le32(d, kFrameBufferSize);
    frame.defaultInterval = Le32(d, frameBased ? kFrameBasedDefaultInterval : kFrameDefaultInterval);
    frame.continuousIntervals = type == 0;
    for (std::size_t i = 0; i < values; ++i)
        frame.intervals.push_back(Le32(d, kFrameIntervals + 4 * i));
    format.frames.push_back(std::move(frame));
}

void AddStills(UvcFormat& format, std::span<const std::uint8_t> d)
{
    if (d.size() <= kStillSizeCount)
        return;
    const std::size_t sizes = d[kStillSizeCount];
    const std::size_t compressionCountAt = kStillSizes + kStillSizeBytes * sizes;
    if (d.size() <= compressionCountAt || d.size() < compressionCountAt + 1 + d[compressionCountAt])
        return;
    UvcStillFrames stills;
    stills.endpoint = d[kStillEndpoint];
    for (std::size_t i = 0; i < sizes; ++i) {
        const std::size_t at = kStillSizes + kStillSizeBytes * i;
        stills.sizes.push_back({Le16(d, at), Le16(d, at + 2)});
    }
    const auto compressions = d.subspan(compressionCountAt + 1, d[compressionCountAt]);
    stills.compressions.assign(compressions.begin(), compressions.end());
    format.stills = std::move(stills);
}

// Frames belong to the format before them, and only when their kind matches it.
bool FrameFits(const UvcFormat& format, std::uint8_t subtype)
{
    switch (format.kind) {
    case UvcFormatKind::Uncompressed: return subtype == kVsFrameUncompressed;
    case UvcFormatKind::Mjpeg: return subtype == kVsFrameMjpeg;
    case UvcFormatKind::FrameBased: return subtype == kVsFrameFrameBased;
    }
    return false;
}

} // namespace

std::uint32_t UvcEndpoint::BytesPerInterval() const
{
    if (superSpeedBytesPerInterval)
        return *superSpeedBytesPerInterval;
    const std::uint32_t transactions = 1u + ((maxPacketSize >> kExtraTransactionsShift) & kExtraTransactionsMask);
    return (maxPacketSize & kPacketSizeMask) * transactions;
}

const UvcFormat* UvcStreamingInterface::Format(std::uint8_t index) const
{
    const auto it = std::ranges::find(formats, index, &UvcFormat::index);
    return it == formats.end() ? nullptr : &*it;
}

const UvcEndpoint* UvcStreamingInterface::VideoEndpoint(std::uint8_t alternate) const
{
    const auto setting = std::ranges::find(alternates, alternate, &UvcAlternateSetting::alternate);
    if (setting == alternates.end())
        return nullptr;
    const auto endpoint = std::ranges::find(setting->endpoints, videoEndpoint, &UvcEndpoint::address);
    return endpoint == setting->endpoints.end() ? nullptr : &*endpoint;
}

bool UvcStreamingInterface::Bulk() const
{
    const UvcEndpoint* endpoint = VideoEndpoint(0);
    return endpoint && endpoint->Transfer() == UvcTransfer::Bulk;
}

void AddStreamingDescriptor(UvcStreamingInterface& s, std::span<const std::uint8_t> d)
{
    if (d.size() < 3)
        return;
    const std::uint8_t subtype = d[2];
    switch (subtype) {
    case kVsInputHeader:
        if (d.size() > kHeaderEndpoint)
            s.videoEndpoint = d[kHeaderEndpoint];
        if (d.size() > kHeaderStillMethod)
            s.stillCaptureMethod = d[kHeaderStillMethod];
        if (d.size() > kHeaderTriggerSupport)
            s.hardwareTrigger = d[kHeaderTriggerSupport] != 0;
        return;
    case kVsFormatUncompressed:
    case kVsFormatMjpeg:
    case kVsFormatFrameBased:
        AddFormat(s, d, subtype);
        return;
    case kVsFrameUncompressed:
    case kVsFrameMjpeg:
    case kVsFrameFrameBased:
        if (!s.formats.empty() && FrameFits(s.formats.back(), subtype))
            AddFrame(s.formats.back(), d, subtype == kVsFrameFrameBased);
        return;
    case kVsStillImageFrame:
        if (!s.formats.empty())
            AddStills(s.formats.back(), d);
        return;
    default:
        return;
    }
}

UvcAlternateSetting& AddAlternate(UvcStreamingInterface& s, std::uint8_t alternate)
{
    const auto setting = std::ranges::find(s.alternates, alternate, &UvcAlternateSetting::alternate);
    if (setting != s.alternates.end())
        return *setting;
    return s.alternates.emplace_back(UvcAlternateSetting {alternate, {}});
}

std::optional<UvcEndpoint> ParseEndpoint(std::span<const std::uint8_t> d)
{
    if (d.size() < kEndpointLength)
        return std::nullopt;
    return UvcEndpoint {d[2], d[3], Le16(d, 4), d[6], std::nullopt};
}

void AddEndpoint(UvcStreamingInterface& s, std::uint8_t alternate, std::span<const std::uint8_t> d)
{
    if (auto endpoint = ParseEndpoint(d))
        AddAlternate(s, alternate).endpoints.push_back(*endpoint);
}

void AddSuperSpeedCompanion(UvcStreamingInterface& s, std::span<const std::uint8_t> d)
{
    if (d.size() < kCompanionLength || s.alternates.empty() || s.alternates.back().endpoints.empty())
        return;
    s.alternates.back().endpoints.back().superSpeedBytesPerInterval = Le16(d, kCompanionBytesPerInterval);
}

} // namespace vistrel::uvc
