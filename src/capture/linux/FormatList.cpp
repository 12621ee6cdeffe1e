#include "capture/linux/FormatList.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace vistrel::lnx {

namespace {

constexpr std::int64_t kReferenceTimePerSecond = 10'000'000;

struct FourccRow
{
    std::uint32_t fourcc;
    Guid subType;
    std::uint16_t bitCount;
    int rank; // order on the capture pin
};

constexpr std::array kFourccRows {
    FourccRow {V4L2_PIX_FMT_MJPEG, MEDIASUBTYPE_MJPG, 24, 0},
    FourccRow {V4L2_PIX_FMT_JPEG, MEDIASUBTYPE_MJPG, 24, 0},
    FourccRow {V4L2_PIX_FMT_YUYV, MEDIASUBTYPE_YUY2, 16, 1},
};

const FourccRow* RowFor(std::uint32_t fourcc)
{
    const auto it = std::ranges::find(kFourccRows, fourcc, &FourccRow::fourcc);
    return it == kFourccRows.end() ? nullptr : &*it;
}

std::int64_t Area(const FrameFormat& f)
{
    return static_cast<std::int64_t>(f.width) * f.height;
}

} // namespace

std::optional<FrameFormat> FrameFormatOfSize(std::uint32_t fourcc, std::uint32_t width, std::uint32_t height)
{
    if (!std::in_range<std::int32_t>(width) || !std::in_range<std::int32_t>(height))
        return std::nullopt;
    return FrameFormat {fourcc, static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
}

std::optional<Guid> SubtypeForFourcc(std::uint32_t fourcc)
{
    const FourccRow* row = RowFor(fourcc);
    return row ? std::optional(row->subType) : std::nullopt;
}

std::int64_t ReferenceTimePerFrame(const FrameFormat& frame)
{
    if (frame.intervalDenominator == 0)
        return 0;
    return kReferenceTimePerSecond * frame.intervalNumerator / frame.intervalDenominator;
}

MediaType VideoInfoType(const FrameFormat& frame, const Guid& subType)
{
    const std::uint16_t bitCount = subType == MEDIASUBTYPE_YUY2 ? 16 : 24;
    MediaType type = MakeVideoInfoType(subType, frame.width, frame.height, ReferenceTimePerFrame(frame), bitCount);
    WriteInt32At(type.formatBlock, kBiSizeImageOffset, ImageSize(frame, bitCount));
    return type;
}

std::int32_t ImageSize(const FrameFormat& frame, std::uint16_t bitCount)
{
    constexpr std::int64_t kLargest = std::numeric_limits<std::int32_t>::max();
    if (frame.width <= 0 || frame.height <= 0)
        return 0;
    std::int64_t bits = 0;
    if (__builtin_mul_overflow(Area(frame), std::int64_t {bitCount}, &bits))
        return static_cast<std::int32_t>(kLargest);
    return static_cast<std::int32_t>(std::min(bits / 8, kLargest));
}

std::vector<PinFormat> CaptureFormats(std::span<const FrameFormat> frames)
{
    std::vector<PinFormat> formats;
    for (int rank = 0; rank < 2; ++rank) {
        for (const FrameFormat& frame : frames) {
            const FourccRow* row = RowFor(frame.fourcc);
            if (!row || row->rank != rank || frame.width <= 0 || frame.height <= 0)
                continue;
            const bool listed = std::ranges::any_of(formats, [&](const PinFormat& f) {
                return f.type.subType == row->subType && f.source.width == frame.width && f.source.height == frame.height;
            });
            if (!listed)
                formats.push_back({frame, VideoInfoType(frame, row->subType)});
        }
    }
    return formats;
}

std::vector<PinFormat> StillFormats(std::span<const FrameFormat> frames)
{
    std::vector<PinFormat> formats;
    for (const PinFormat& capture : CaptureFormats(frames)) {
        const bool listed = std::ranges::any_of(formats, [&](const PinFormat& f) {
            return f.source.width == capture.source.width && f.source.height == capture.source.height;
        });
        if (!listed)
            formats.push_back({capture.source, VideoInfoType(capture.source, MEDIASUBTYPE_MJPG)});
    }
    return formats;
}

std::size_t LargestFormat(std::span<const PinFormat> formats)
{
    // max_element keeps the first of equals.
    const auto it = std::ranges::max_element(formats, {}, [](const PinFormat& f) { return Area(f.source); });
    return static_cast<std::size_t>(it - formats.begin());
}

std::optional<std::size_t> FindFormat(std::span<const PinFormat> formats, const MediaType& type)
{
    std::int32_t width = 0;
    std::int32_t height = 0;
    if (type.majorType != MEDIATYPE_Video || !ReadVideoInfoSize(type, width, height))
        return std::nullopt;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        const PinFormat& f = formats[i];
        if (f.type.subType == type.subType && f.source.width == width && f.source.height == height)
            return i;
    }
    return std::nullopt;
}

} // namespace vistrel::lnx
