#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <cstring>

#include "capture/linux/FormatList.h"

namespace vistrel::v4l2 {
namespace {

constexpr std::uint32_t kH264 = v4l2_fourcc('H', '2', '6', '4');

lnx::FrameFormat Mjpg(std::int32_t w, std::int32_t h) { return {V4L2_PIX_FMT_MJPEG, w, h, 1, 30}; }
lnx::FrameFormat Yuyv(std::int32_t w, std::int32_t h) { return {V4L2_PIX_FMT_YUYV, w, h, 1, 5}; }

std::vector<std::pair<std::int32_t, std::int32_t>> Sizes(const std::vector<lnx::PinFormat>& formats)
{
    std::vector<std::pair<std::int32_t, std::int32_t>> sizes;
    for (const lnx::PinFormat& f : formats) {
        std::int32_t w = 0;
        std::int32_t h = 0;
        EXPECT_TRUE(ReadVideoInfoSize(f.type, w, h));
        sizes.emplace_back(w, h);
    }
    return sizes;
}

TEST(FormatList, VideoInfoHeadersDescribeTheFrames)
{
    struct Case
    {
        lnx::FrameFormat frame;
        Guid subType;
        std::uint16_t bitCount;
        std::int32_t imageSize;
        std::int64_t timePerFrame;
    };
    const Case cases[] = {
        {Mjpg(640, 480), MEDIASUBTYPE_MJPG, 24, 640 * 480 * 3, 333333},
        {Yuyv(2592, 1944), MEDIASUBTYPE_YUY2, 16, 2592 * 1944 * 2, 2000000},
        {{V4L2_PIX_FMT_YUYV, 320, 240, 0, 0}, MEDIASUBTYPE_YUY2, 16, 320 * 240 * 2, 0},
    };
    for (const Case& c : cases) {
        const auto formats = lnx::CaptureFormats(std::vector {c.frame});
        ASSERT_EQ(formats.size(), 1u);
        const MediaType& t = formats[0].type;
        EXPECT_EQ(t.majorType, MEDIATYPE_Video);
        EXPECT_EQ(t.subType, c.subType);
        EXPECT_EQ(t.formatType, FORMAT_VideoInfo);
        ASSERT_EQ(t.formatBlock.size(), kVideoInfoHeaderSize);
        EXPECT_EQ(ReadInt32At(t.formatBlock, kBiWidthOffset), c.frame.width);
        EXPECT_EQ(ReadInt32At(t.formatBlock, kBiHeightOffset), c.frame.height);
        EXPECT_EQ(static_cast<std::uint32_t>(ReadInt32At(t.formatBlock, kBiCompressionOffset)), c.subType.data1);
        EXPECT_EQ(ReadInt32At(t.formatBlock, kBiSizeImageOffset), c.imageSize);
        std::uint16_t bits = 0;
        std::memcpy(&bits, t.formatBlock.data() + kBiBitCountOffset, sizeof bits);
        EXPECT_EQ(bits, c.bitCount);
        std::int64_t interval = 0;
        std::memcpy(&interval, t.formatBlock.data() + kAvgTimePerFrameOffset, sizeof interval);
        EXPECT_EQ(interval, c.timePerFrame);
        EXPECT_EQ(formats[0].source, c.frame);
    }
}

TEST(FormatList, HugeStepwiseSizesNeitherOverflowNorTurnNegative)
{
    constexpr std::int32_t kMax = INT32_MAX;
    struct SizeCase
    {
        std::uint32_t width, height;
        bool listed;
    };
    const SizeCase sizes[] = {
        {2592, 1944, true}, {0x7FFFFFFFu, 0x7FFFFFFFu, true}, {0x80000000u, 480, false}, {640, 0xFFFFFFFFu, false},
    };
    for (const SizeCase& c : sizes) {
        const auto frame = lnx::FrameFormatOfSize(V4L2_PIX_FMT_MJPEG, c.width, c.height);
        EXPECT_EQ(frame.has_value(), c.listed) << c.width << "x" << c.height;
        if (frame) {
            EXPECT_EQ(frame->width, std::int32_t(c.width));
            EXPECT_EQ(frame->height, std::int32_t(c.height));
        }
    }

    struct BytesCase
    {
        lnx::FrameFormat frame;
        std::uint16_t bitCount;
        std::int32_t bytes;
    };
    const BytesCase bytes[] = {
        {Yuyv(640, 480), 16, 640 * 480 * 2},
        {Mjpg(30000, 23860), 24, 2147400000},    // just below the clamp
        {Mjpg(30000, 23861), 24, kMax},          // just above it
        {Mjpg(kMax, kMax), 24, kMax},            // the product overflows 64 bits
        {Mjpg(-640, 480), 24, 0},
    };
    for (const BytesCase& c : bytes)
        EXPECT_EQ(lnx::ImageSize(c.frame, c.bitCount), c.bytes) << c.frame.width << "x" << c.frame.height;
    const auto formats = lnx::CaptureFormats(std::vector {Mjpg(kMax, kMax)});
    ASSERT_EQ(formats.size(), 1u);
    EXPECT_EQ(ReadInt32At(formats[0].type.formatBlock, kBiSizeImageOffset), kMax);
}

TEST(FormatList, CapturePinListsCompressedFormatsFirstInDeviceOrder)
{
    const std::vector<lnx::FrameFormat> frames = {
        Yuyv(640, 480), Yuyv(2592, 1944), {kH264, 1920, 1080, 1, 30}, Mjpg(1280, 1024),
        Mjpg(640, 480), Mjpg(640, 480), {V4L2_PIX_FMT_MJPEG, 0, 0, 0, 0}, {V4L2_PIX_FMT_NV12, 640, 480, 1, 30}};
    const auto formats = lnx::CaptureFormats(frames);
    const std::vector<std::pair<std::int32_t, std::int32_t>> expected = {
        {1280, 1024}, {640, 480}, {640, 480}, {2592, 1944}};
    EXPECT_EQ(Sizes(formats), expected);
    ASSERT_EQ(formats.size(), 4u);
    EXPECT_EQ(formats[1].type.subType, MEDIASUBTYPE_MJPG);
    EXPECT_EQ(formats[2].type.subType, MEDIASUBTYPE_YUY2);
}

TEST(FormatList, StillPinOffersEverySizeOnceAsJpegPreferringTheDevicesJpeg)
{
    const std::vector<lnx::FrameFormat> frames = {Yuyv(640, 480), Yuyv(2592, 1944), Yuyv(1600, 1600), Mjpg(1280, 1024),
                                             Mjpg(2592, 1944), Mjpg(640, 480)};
    const auto stills = lnx::StillFormats(frames);
    const std::vector<std::pair<std::int32_t, std::int32_t>> expected = {
        {1280, 1024}, {2592, 1944}, {640, 480}, {1600, 1600}};
    EXPECT_EQ(Sizes(stills), expected);
    for (const lnx::PinFormat& f : stills)
        EXPECT_EQ(f.type.subType, MEDIASUBTYPE_MJPG);
    EXPECT_EQ(stills[1].source.fourcc, static_cast<std::uint32_t>(V4L2_PIX_FMT_MJPEG));
    EXPECT_EQ(stills[3].source.fourcc, static_cast<std::uint32_t>(V4L2_PIX_FMT_YUYV)) << "converted when taken";
    EXPECT_EQ(lnx::LargestFormat(stills), 1u);
}

TEST(FormatList, LargestIsTheFirstOfEquals)
{
    const auto stills = lnx::StillFormats(std::vector {Mjpg(640, 480), Mjpg(1600, 1200), Mjpg(1200, 1600), Mjpg(800, 600)});
    EXPECT_EQ(lnx::LargestFormat(stills), 1u);
}

TEST(FormatList, FindsOnlyCompleteTypesOfListedSizes)
{
    const auto formats = lnx::CaptureFormats(std::vector {Mjpg(640, 480), Yuyv(640, 480), Mjpg(1280, 720)});
    EXPECT_EQ(lnx::FindFormat(formats, MakeVideoInfoType(MEDIASUBTYPE_YUY2, 640, 480)), std::optional<std::size_t>(2));
    EXPECT_EQ(lnx::FindFormat(formats, MakeVideoInfoType(MEDIASUBTYPE_MJPG, 1280, 720)), std::optional<std::size_t>(1));
    EXPECT_FALSE(lnx::FindFormat(formats, MakeVideoInfoType(MEDIASUBTYPE_YUY2, 1280, 720)));
    EXPECT_FALSE(lnx::FindFormat(formats, MakeVideoInfoType(MEDIASUBTYPE_RGB32, 640, 480)));
    MediaType truncated = MakeVideoInfoType(MEDIASUBTYPE_MJPG, 640, 480);
    truncated.formatBlock.resize(kVideoInfoHeaderSize - 1);
    EXPECT_FALSE(lnx::FindFormat(formats, truncated));
    MediaType other = MakeVideoInfoType(MEDIASUBTYPE_MJPG, 640, 480);
    other.formatType = FORMAT_VideoInfo2;
    EXPECT_FALSE(lnx::FindFormat(formats, other));
}

} // namespace
} // namespace vistrel::v4l2
