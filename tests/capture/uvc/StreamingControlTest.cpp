#include <gtest/gtest.h>

#include <numeric>

#include "capture/uvc/StreamingControl.h"

namespace vistrel::uvc {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(StreamingControl, ProbeLengthFollowsTheClassVersion)
{
    EXPECT_EQ(VideoProbeLength(0x0100), 26u);
    EXPECT_EQ(VideoProbeLength(0x010A), 26u);
    EXPECT_EQ(VideoProbeLength(0x0110), 34u);
    EXPECT_EQ(VideoProbeLength(0x0150), 48u);
    EXPECT_EQ(VideoProbeLength(0x0200), 48u);
}

VideoProbe EveryFieldSet()
{
    VideoProbe p;
    p.hint = 0x0201;
    p.formatIndex = 3;
    p.frameIndex = 4;
    p.frameInterval = 0x05060708;
    p.keyFrameRate = 0x090A;
    p.pFrameRate = 0x0B0C;
    p.compQuality = 0x0D0E;
    p.compWindowSize = 0x0F10;
    p.delay = 0x1112;
    p.maxVideoFrameSize = 0x13141516;
    p.maxPayloadTransferSize = 0x1718191A;
    p.clockFrequency = 0x1B1C1D1E;
    p.framingInfo = 0x1F;
    p.preferredVersion = 0x20;
    p.minVersion = 0x21;
    p.maxVersion = 0x22;
    p.usage = 0x23;
    p.bitDepthLuma = 0x24;
    p.settings = 0x25;
    p.maxNumberOfRefFramesPlus1 = 0x26;
    p.rateControlModes = 0x2728;
    p.layoutPerStream = 0x292A2B2C2D2E2F30;
    return p;
}

TEST(StreamingControl, VideoProbeBytesAreTheClassLayout)
{
    const Bytes bytes = EncodeVideoProbe(EveryFieldSet(), kVideoProbeLength15);
    const Bytes expected {0x01, 0x02, 3, 4, 0x08, 0x07, 0x06, 0x05, 0x0A, 0x09, 0x0C, 0x0B, 0x0E, 0x0D, 0x10, 0x0F,
                          0x12, 0x11, 0x16, 0x15, 0x14, 0x13, 0x1A, 0x19, 0x18, 0x17, // UVC 1.0 ends at 26
                          0x1E, 0x1D, 0x1C, 0x1B, 0x1F, 0x20, 0x21, 0x22,             // 1.1 at 34
                          0x23, 0x24, 0x25, 0x26, 0x28, 0x27, 0x30, 0x2F, 0x2E, 0x2D, 0x2C, 0x2B, 0x2A, 0x29};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(EncodeVideoProbe(EveryFieldSet(), kVideoProbeLength11), Bytes(expected.begin(), expected.begin() + 34));
    EXPECT_EQ(EncodeVideoProbe(EveryFieldSet(), kVideoProbeLength10), Bytes(expected.begin(), expected.begin() + 26));
}

TEST(StreamingControl, DecodingReadsWhatTheAnswerHolds)
{
    const VideoProbe full = EveryFieldSet();
    EXPECT_EQ(DecodeVideoProbe(EncodeVideoProbe(full, kVideoProbeLength15)), full);

    // A 1.0 device answers 26 bytes: the later fields stay 0.
    const auto short10 = DecodeVideoProbe(EncodeVideoProbe(full, kVideoProbeLength10));
    ASSERT_TRUE(short10);
    EXPECT_EQ(short10->maxPayloadTransferSize, full.maxPayloadTransferSize);
    EXPECT_EQ(short10->clockFrequency, 0u);
    EXPECT_FALSE(short10->EofMarksFrames());

    const auto answer11 = DecodeVideoProbe(EncodeVideoProbe(full, kVideoProbeLength11));
    ASSERT_TRUE(answer11);
    EXPECT_EQ(answer11->maxVersion, full.maxVersion);
    EXPECT_EQ(answer11->layoutPerStream, 0u);

    EXPECT_FALSE(DecodeVideoProbe(Bytes(25, 0)));
    EXPECT_FALSE(DecodeVideoProbe({}));
}

TEST(StreamingControl, StillProbeBytes)
{
    const StillProbe still {1, 2, 1, 0x00A00000, 0x4000};
    const Bytes bytes = EncodeStillProbe(still);
    EXPECT_EQ(bytes, (Bytes {1, 2, 1, 0x00, 0x00, 0xA0, 0x00, 0x00, 0x40, 0x00, 0x00}));
    EXPECT_EQ(DecodeStillProbe(bytes), still);
    EXPECT_FALSE(DecodeStillProbe(Bytes(10, 0)));
}

UvcFrame Frame(std::uint8_t index, std::uint16_t w, std::uint16_t h, std::vector<std::uint32_t> intervals,
               bool continuous = false)
{
    UvcFrame f;
    f.index = index;
    f.width = w;
    f.height = h;
    f.maxFrameBufferSize = std::uint32_t(w) * h * 2;
    f.defaultInterval = 500000;
    f.intervals = std::move(intervals);
    f.continuousIntervals = continuous;
    return f;
}

// An MJPEG format with two frames and a still-image frame descriptor, then an uncompressed one.
UvcStreamingInterface Streaming()
{
    UvcStreamingInterface s;
    s.number = 1;
    UvcFormat mjpeg;
    mjpeg.index = 1;
    mjpeg.kind = UvcFormatKind::Mjpeg;
    mjpeg.frames = {Frame(1, 1280, 960, {666666, 333333, 500000}), Frame(2, 960, 960, {})};
    mjpeg.stills = UvcStillFrames {0, {{2592, 1944}, {2448, 2448}}, {}};
    UvcFormat yuyv;
    yuyv.index = 2;
    yuyv.kind = UvcFormatKind::Uncompressed;
    yuyv.frames = {Frame(1, 640, 480, {333333, 2000000, 333333}, true), Frame(2, 1280, 960, {1000000})};
    yuyv.stills = UvcStillFrames {0, {{1280, 960}, {2592, 1944}}, {5, 6}};
    s.formats = {mjpeg, yuyv};
    return s;
}

TEST(StreamingControl, VideoProbeNamesTheFrameAtItsFastestRate)
{
    const auto s = Streaming();
    const auto mjpeg = VideoProbeFor(s, UvcFormatKind::Mjpeg, 1280, 960);
    ASSERT_TRUE(mjpeg);
    EXPECT_EQ(mjpeg->formatIndex, 1);
    EXPECT_EQ(mjpeg->frameIndex, 1);
    EXPECT_EQ(mjpeg->frameInterval, 333333u);
    EXPECT_EQ(mjpeg->hint, kHintFrameInterval);

    const auto noIntervals = VideoProbeFor(s, UvcFormatKind::Mjpeg, 960, 960);
    ASSERT_TRUE(noIntervals);
    EXPECT_EQ(noIntervals->frameIndex, 2);
    EXPECT_EQ(noIntervals->frameInterval, 500000u) << "the default when the frame lists none";

    const auto continuous = VideoProbeFor(s, UvcFormatKind::Uncompressed, 640, 480);
    ASSERT_TRUE(continuous);
    EXPECT_EQ(continuous->formatIndex, 2);
    EXPECT_EQ(continuous->frameInterval, 333333u);

    EXPECT_EQ(VideoProbeFor(s, UvcFormatKind::Uncompressed, 1280, 960)->frameIndex, 2);
    EXPECT_FALSE(VideoProbeFor(s, UvcFormatKind::Mjpeg, 640, 480));
    EXPECT_FALSE(VideoProbeFor(s, UvcFormatKind::FrameBased, 1280, 960));
}

TEST(StreamingControl, StillProbePrefersTheCommittedFormat)
{
    const auto s = Streaming();
    const auto inMjpeg = StillProbeFor(s, 2592, 1944, 1);
    ASSERT_TRUE(inMjpeg);
    EXPECT_EQ(*inMjpeg, (StillProbe {1, 1, 0, 0, 0}));
    const auto inYuyv = StillProbeFor(s, 2592, 1944, 2);
    ASSERT_TRUE(inYuyv);
    EXPECT_EQ(*inYuyv, (StillProbe {2, 2, 1, 0, 0})) << "compression counts from 1 when the descriptor lists any";
    EXPECT_EQ(StillProbeFor(s, 2448, 2448, 2)->formatIndex, 1) << "another format when the preferred lacks it";
    EXPECT_EQ(StillProbeFor(s, 2448, 2448)->frameIndex, 2);
    EXPECT_FALSE(StillProbeFor(s, 4000, 3000, 1));
}

struct FixCase
{
    const char* what;
    std::uint8_t format;
    std::uint8_t frame;
    std::uint32_t maxFrame;
    std::uint32_t maxPayload;
    std::uint32_t fixedFrame;
    std::uint32_t fixedPayload;
};

TEST(StreamingControl, CommittedValuesDevicesGetWrongAreRepaired)
{
    const auto s = Streaming();
    const FixCase cases[] = {
        {"compressed, as committed", 1, 1, 300000, 3072, 300000, 3072},
        {"compressed, committed 0", 1, 1, 0, 3072, 1280 * 960 * 2, 3072},
        {"uncompressed takes the buffer size", 2, 1, 1000, 3072, 640 * 480 * 2, 3072},
        {"payload size with a garbage upper half", 1, 1, 300000, 0xFFFF0C00, 300000, 0x0C00},
        {"payload size with a plausible upper half", 1, 1, 300000, 0x00010000, 300000, 0x00010000},
        {"format the device does not have", 9, 1, 0, 3072, 0, 3072},
        {"frame the format does not have", 1, 7, 0, 3072, 0, 3072},
    };
    for (const FixCase& c : cases) {
        VideoProbe p;
        p.formatIndex = c.format;
        p.frameIndex = c.frame;
        p.maxVideoFrameSize = c.maxFrame;
        p.maxPayloadTransferSize = c.maxPayload;
        FixCommitted(p, s);
        EXPECT_EQ(p.maxVideoFrameSize, c.fixedFrame) << c.what;
        EXPECT_EQ(p.maxPayloadTransferSize, c.fixedPayload) << c.what;
    }
}

} // namespace
} // namespace vistrel::uvc
