// The frame sizes and intervals a V4L2 device reports, as 17-byte records (format, width, height,
// interval numerator and denominator), turned into the pins' format lists. What a pin lists must
// have a positive size and a non-negative image size, and must be found again by its own type.
#include "capture/linux/FormatList.h"

#include <linux/videodev2.h>

#include <array>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::array<std::uint32_t, 4> kFourccs {V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_JPEG, V4L2_PIX_FMT_YUYV,
                                                 V4L2_PIX_FMT_NV12};
constexpr std::size_t kRecordSize = 17;

std::uint32_t Read32(const std::uint8_t* p)
{
    std::uint32_t value = 0;
    std::memcpy(&value, p, sizeof value);
    return value;
}

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckList(const std::vector<vistrel::lnx::PinFormat>& formats)
{
    using namespace vistrel;
    for (const lnx::PinFormat& f : formats) {
        std::int32_t width = 0, height = 0;
        Require(ReadVideoInfoSize(f.type, width, height));
        Require(width > 0 && height > 0 && width == f.source.width && height == f.source.height);
        Require(ReadInt32At(f.type.formatBlock, kBiSizeImageOffset) >= 0);
        Require(lnx::ReferenceTimePerFrame(f.source) >= 0);
        const auto found = lnx::FindFormat(formats, f.type);
        Require(found && formats[*found].type.subType == f.type.subType);
    }
    if (!formats.empty())
        Require(lnx::LargestFormat(formats) < formats.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vistrel::lnx;
    std::vector<FrameFormat> frames;
    for (std::size_t at = 0; at + kRecordSize <= size; at += kRecordSize) {
        const std::uint8_t* r = data + at;
        auto frame = FrameFormatOfSize(kFourccs[r[0] % kFourccs.size()], Read32(r + 1), Read32(r + 5));
        if (!frame)
            continue;
        frame->intervalNumerator = Read32(r + 9);
        frame->intervalDenominator = Read32(r + 13);
        frames.push_back(*frame);
    }
    CheckList(CaptureFormats(frames));
    CheckList(StillFormats(frames));
    return 0;
}
