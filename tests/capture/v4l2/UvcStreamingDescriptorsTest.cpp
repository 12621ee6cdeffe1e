#include <gtest/gtest.h>

#include "DescriptorFixtures.h"
#include "capture/uvc/UvcDescriptors.h"

namespace vistrel::v4l2 {
namespace {

using test::DescriptorBuilder;

constexpr std::uint8_t kMjpegFrame = 0x07;
constexpr std::uint8_t kUncompressedFrame = 0x05;
constexpr std::uint8_t kIso = 0x05;  // isochronous, asynchronous
constexpr std::uint8_t kBulk = 0x02;
constexpr std::uint8_t kInterrupt = 0x03;
constexpr Guid kYuy2 {0x32595559, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

DescriptorBuilder ControlInterface()
{
    return DescriptorBuilder()
        .Device()
        .Configuration()
        .Interface(0, 0, 0x01)
        .Raw({13, 0x24, 0x01, 0x10, 0x01, 0, 0, 0x80, 0x8D, 0x5B, 0x00, 1, 1}) // UVC 1.1, streaming interface 1
        .CameraTerminal(1, {0x00, 0x2A, 0x00})
        .Raw({11, 0x24, 0x05, 2, 1, 0, 0, 2, 0x2B, 0x00, 0})                    // processing unit 2
        .Endpoint(0x83, kInterrupt, 16);
}

// A scanner streaming over isochronous endpoints: setting 0 without bandwidth, three with growing packets,
// the last high-bandwidth (three 1024-byte transactions a microframe).
std::vector<std::uint8_t> IsochronousScanner()
{
    return ControlInterface()
        .Interface(1, 0, 0x02)
        .InputHeader(0x81, 2, 2)
        .MjpegFormat(1)
        .Frame(kMjpegFrame, 1, 1280, 960, 2457600, {500000, 333333})
        .Frame(kMjpegFrame, 2, 960, 960, 1843200, {333333, 1000000, 333333}, true)
        .StillImageFrame(0, {{2592, 1944}, {2448, 2448}}, {})
        .Raw({6, 0x24, 0x0D, 1, 1, 4}) // colour matching
        .UncompressedFormat(2, 1, kYuy2)
        .Frame(kUncompressedFrame, 1, 640, 480, 614400, {333333})
        .Interface(1, 1, 0x02)
        .Endpoint(0x81, kIso, 512)
        .Interface(1, 2, 0x02)
        .Endpoint(0x81, kIso, 1024)
        .Interface(1, 3, 0x02)
        .Endpoint(0x81, kIso, 0x1400)
        .Bytes();
}

TEST(UvcStreamingDescriptors, ReadsFormatsFramesStillsAndAlternateSettings)
{
    const auto function = uvc::ParseUvcFunction(IsochronousScanner(), 0);
    ASSERT_TRUE(function);
    EXPECT_EQ(function->uvcVersion, 0x0110);
    ASSERT_TRUE(function->processingUnit);
    EXPECT_EQ(function->processingUnit->unitId, 2);
    EXPECT_TRUE(function->processingUnit->controls.Has(5)); // gamma
    ASSERT_TRUE(function->statusEndpoint);
    EXPECT_EQ(function->statusEndpoint->address, 0x83);
    EXPECT_EQ(function->statusEndpoint->Transfer(), uvc::UvcTransfer::Interrupt);

    ASSERT_EQ(function->streaming.size(), 1u);
    const uvc::UvcStreamingInterface& s = function->streaming[0];
    EXPECT_EQ(s.number, 1);
    EXPECT_EQ(s.videoEndpoint, 0x81);
    EXPECT_EQ(s.stillCaptureMethod, 2);
    EXPECT_EQ(function->stillCaptureMethod, 2);
    EXPECT_TRUE(s.hardwareTrigger);

    ASSERT_EQ(s.formats.size(), 2u);
    const uvc::UvcFormat& mjpeg = s.formats[0];
    EXPECT_EQ(mjpeg.kind, uvc::UvcFormatKind::Mjpeg);
    EXPECT_EQ(mjpeg.index, 1);
    ASSERT_EQ(mjpeg.frames.size(), 2u);
    EXPECT_EQ(mjpeg.frames[0].width, 1280);
    EXPECT_EQ(mjpeg.frames[0].height, 960);
    EXPECT_EQ(mjpeg.frames[0].maxFrameBufferSize, 2457600u);
    EXPECT_EQ(mjpeg.frames[0].intervals, (std::vector<std::uint32_t> {500000, 333333}));
    EXPECT_FALSE(mjpeg.frames[0].continuousIntervals);
    EXPECT_TRUE(mjpeg.frames[1].continuousIntervals);
    EXPECT_EQ(mjpeg.frames[1].intervals, (std::vector<std::uint32_t> {333333, 1000000, 333333}));
    ASSERT_TRUE(mjpeg.stills);
    EXPECT_EQ(mjpeg.stills->endpoint, 0);
    ASSERT_EQ(mjpeg.stills->sizes.size(), 2u);
    EXPECT_EQ(mjpeg.stills->sizes[1].width, 2448);
    EXPECT_EQ(mjpeg.stills->sizes[1].height, 2448);

    const uvc::UvcFormat& yuyv = s.formats[1];
    EXPECT_EQ(yuyv.kind, uvc::UvcFormatKind::Uncompressed);
    EXPECT_EQ(yuyv.guid, kYuy2);
    EXPECT_EQ(yuyv.bitsPerPixel, 16);
    ASSERT_EQ(yuyv.frames.size(), 1u);
    EXPECT_FALSE(yuyv.stills);
    EXPECT_EQ(s.Format(2), &yuyv);
    EXPECT_EQ(s.Format(3), nullptr);

    ASSERT_EQ(s.alternates.size(), 4u);
    EXPECT_TRUE(s.alternates[0].endpoints.empty());
    EXPECT_EQ(s.VideoEndpoint(0), nullptr);
    EXPECT_FALSE(s.Bulk());
    ASSERT_NE(s.VideoEndpoint(3), nullptr);
    EXPECT_EQ(s.VideoEndpoint(1)->BytesPerInterval(), 512u);
    EXPECT_EQ(s.VideoEndpoint(2)->BytesPerInterval(), 1024u);
    EXPECT_EQ(s.VideoEndpoint(3)->BytesPerInterval(), 3072u);
    EXPECT_EQ(s.VideoEndpoint(3)->Transfer(), uvc::UvcTransfer::Isochronous);
}

TEST(UvcStreamingDescriptors, BulkStreamingAndSuperSpeedCompanions)
{
    const auto bulk = uvc::ParseUvcFunction(ControlInterface()
                                           .Interface(1, 0, 0x02)
                                           .InputHeader(0x82, 3, 1)
                                           .MjpegFormat(1)
                                           .Frame(kMjpegFrame, 1, 1280, 960, 2457600, {500000})
                                           .StillImageFrame(0x84, {{2592, 1944}}, {1})
                                           .Endpoint(0x82, kBulk, 512)
                                           .Endpoint(0x84, kBulk, 512)
                                           .Bytes(),
                                       0);
    ASSERT_TRUE(bulk);
    const uvc::UvcStreamingInterface& s = bulk->streaming.at(0);
    EXPECT_TRUE(s.Bulk());
    EXPECT_EQ(s.stillCaptureMethod, 3);
    EXPECT_EQ(s.formats.at(0).stills->endpoint, 0x84);
    EXPECT_EQ(s.formats.at(0).stills->compressions, std::vector<std::uint8_t> {1});
    EXPECT_EQ(s.alternates.at(0).endpoints.size(), 2u);

    const auto super = uvc::ParseUvcFunction(ControlInterface()
                                            .Interface(1, 0, 0x02)
                                            .InputHeader(0x81, 0, 0)
                                            .Interface(1, 1, 0x02)
                                            .Endpoint(0x81, kIso, 1024)
                                            .SuperSpeedCompanion(3072)
                                            .Bytes(),
                                        0);
    ASSERT_TRUE(super);
    EXPECT_EQ(super->streaming.at(0).VideoEndpoint(1)->BytesPerInterval(), 3072u);
}

struct BadStreamingCase
{
    const char* what;
    std::vector<std::uint8_t> descriptor; // placed between two good MJPEG frames of format 1
    std::size_t frames;                   // frames format 1 then holds
    bool stills;
};

TEST(UvcStreamingDescriptors, DescriptorsThatLieAboutTheirContentAreSkipped)
{
    const auto frame = [](std::uint8_t subtype, std::vector<std::uint32_t> intervals, bool continuous = false) {
        return DescriptorBuilder().Frame(subtype, 5, 100, 100, 20000, intervals, continuous).Bytes();
    };
    auto cutFrame = frame(kMjpegFrame, {333333, 500000});
    cutFrame[25] = 9; // nine intervals claimed, two present
    auto shortContinuous = frame(kMjpegFrame, {333333, 500000}, true);
    shortContinuous[0] = static_cast<std::uint8_t>(shortContinuous.size());
    auto stillSizesCut = DescriptorBuilder().StillImageFrame(0, {{2592, 1944}}, {}).Bytes();
    stillSizesCut[4] = 3; // three sizes claimed, one present
    auto stillCompressionsCut = DescriptorBuilder().StillImageFrame(0, {{2592, 1944}}, {1}).Bytes();
    stillCompressionsCut[9] = 4;

    const BadStreamingCase cases[] = {
        {"a good frame", frame(kMjpegFrame, {333333}), 3, false},
        {"intervals beyond the descriptor", cutFrame, 2, false},
        {"continuous intervals need three values", shortContinuous, 2, false},
        {"a frame of another format's kind", frame(kUncompressedFrame, {333333}), 2, false},
        {"a frame too short for its fixed fields", {9, 0x24, kMjpegFrame, 5, 0, 100, 0, 100, 0}, 2, false},
        {"a good still", DescriptorBuilder().StillImageFrame(0, {{2592, 1944}}, {}).Bytes(), 2, true},
        {"still sizes beyond the descriptor", stillSizesCut, 2, false},
        {"still compressions beyond the descriptor", stillCompressionsCut, 2, false},
        {"a still descriptor of four bytes", {4, 0x24, 0x03, 0}, 2, false},
        {"a format too short", {10, 0x24, 0x06, 2, 1, 1, 1, 0, 0, 0}, 2, false},
    };
    for (const BadStreamingCase& c : cases) {
        const auto bytes = ControlInterface()
                               .Interface(1, 0, 0x02)
                               .InputHeader(0x81, 2, 1)
                               .MjpegFormat(1)
                               .Frame(kMjpegFrame, 1, 1280, 960, 2457600, {500000})
                               .Raw(c.descriptor)
                               .Frame(kMjpegFrame, 2, 960, 960, 1843200, {500000})
                               .Bytes();
        const auto function = uvc::ParseUvcFunction(bytes, 0);
        ASSERT_TRUE(function) << c.what;
        const uvc::UvcStreamingInterface& s = function->streaming.at(0);
        ASSERT_EQ(s.formats.size(), 1u) << c.what;
        EXPECT_EQ(s.formats[0].frames.size(), c.frames) << c.what;
        EXPECT_EQ(s.formats[0].frames.back().index, 2) << c.what;
        EXPECT_EQ(s.formats[0].stills.has_value(), c.stills) << c.what;
    }
}

TEST(UvcStreamingDescriptors, FramesAndStillsBeforeAnyFormatAreIgnored)
{
    const auto function = uvc::ParseUvcFunction(ControlInterface()
                                               .Interface(1, 0, 0x02)
                                               .InputHeader(0x81, 2, 1)
                                               .Frame(kMjpegFrame, 1, 1280, 960, 2457600, {500000})
                                               .StillImageFrame(0, {{2592, 1944}}, {})
                                               .Bytes(),
                                           0);
    ASSERT_TRUE(function);
    EXPECT_TRUE(function->streaming.at(0).formats.empty());
}

TEST(UvcStreamingDescriptors, InterfacesOutsideTheFunctionAreLeftOut)
{
    const auto function = uvc::ParseUvcFunction(ControlInterface()
                                               .Interface(1, 0, 0x02)
                                               .InputHeader(0x81, 2, 0)
                                               .Interface(4, 0, 0x02)
                                               .InputHeader(0x85, 3, 0)
                                               .Bytes(),
                                           0);
    ASSERT_TRUE(function);
    ASSERT_EQ(function->streaming.size(), 1u);
    EXPECT_EQ(function->streaming[0].number, 1);
    EXPECT_EQ(function->stillCaptureMethod, 2);
}

TEST(UvcStreamingDescriptors, EveryTruncationParsesSafely)
{
    const auto bytes = IsochronousScanner();
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        // A copy of exactly this size, so that reading past it shows under a sanitizer.
        const std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
        if (const auto function = uvc::ParseUvcFunction(prefix, 0)) {
            for (const auto& s : function->streaming) {
                for (const auto& format : s.formats) {
                    for (const auto& frame : format.frames)
                        EXPECT_FALSE(frame.intervals.empty());
                }
            }
        }
    }
}

} // namespace
} // namespace vistrel::v4l2
