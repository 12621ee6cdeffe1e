// The streaming interface: probe and commit negotiation, the payloads a frame goes out in, and the still
// taken by the trigger, all read back as a host reads them.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <numeric>

#include "PayloadStream.h"
#include "ScannerDevice.h"
#include "StreamingRequests.h"

namespace vistrel::uvcemu {
namespace {

using Bytes = std::vector<std::uint8_t>;

FrameSize JpegSize(const Bytes& jpeg)
{
    tjhandle h = tjInitDecompress();
    int w = 0, hgt = 0, sub = 0, cs = 0;
    const int rc = tjDecompressHeader3(h, jpeg.data(), jpeg.size(), &w, &hgt, &sub, &cs);
    tjDestroy(h);
    return rc == 0 ? FrameSize {w, hgt} : FrameSize {};
}

TEST(Negotiation, ProbeAnswersTheNearestFrameWithTheDevicesOwnSizes)
{
    struct Case {
        std::uint8_t format, frame;
        std::uint8_t wantFrame;
    };
    const Case cases[] = {{1, 1, 1}, {1, 2, 2}, {1, 3, 1}, {2, 1, 1}, {0, 0, 1}};
    for (const auto& c : cases) {
        VideoProbe wanted;
        wanted.formatIndex = c.format;
        wanted.frameIndex = c.frame;
        wanted.frameInterval = 333333;
        wanted.maxPayloadTransferSize = 3072;
        const auto got = StreamingRequests::Negotiate(wanted);
        SCOPED_TRACE(std::to_string(c.format) + "/" + std::to_string(c.frame));
        EXPECT_EQ(got.formatIndex, kMjpegFormatIndex);
        EXPECT_EQ(got.frameIndex, c.wantFrame);
        EXPECT_EQ(got.frameInterval, kFrameInterval);
        EXPECT_EQ(got.maxVideoFrameSize, MaxFrameBytes(kVideoFrames[c.wantFrame - 1]));
        EXPECT_EQ(got.maxPayloadTransferSize, kMaxPayloadTransfer);
        EXPECT_EQ(VideoProbe::Parse(got.Bytes()).Bytes(), got.Bytes());
        EXPECT_EQ(got.Bytes().size(), kProbeLength);
    }
}

class DeviceTest : public ::testing::Test {
protected:
    TransferResult Request(std::uint8_t request, std::uint8_t selector, std::uint16_t length, Bytes data = {})
    {
        const SetupPacket setup {std::uint8_t(request == SET_CUR ? 0x21 : 0xA1), request, std::uint16_t(selector << 8),
                                 kStreamingInterface, length};
        return device.Control(setup, data);
    }
    TransferResult Commit(std::uint8_t frame)
    {
        VideoProbe p;
        p.formatIndex = kMjpegFormatIndex;
        p.frameIndex = frame;
        p.frameInterval = kFrameInterval;
        return Request(SET_CUR, VS_COMMIT_CONTROL, kProbeLength, p.Bytes());
    }
    // Reads one frame the way uvcvideo does from bulk transfers: payloads, FID change or EOF ends it.
    struct Frame {
        Bytes data;
        bool still = false;
        bool fid = false;
    };
    Frame NextFrame(std::size_t transferSize = kMaxPayloadTransfer)
    {
        Frame frame;
        for (int guard = 0; guard < 100000; ++guard) {
            device.FrameTick();
            Bytes transfer;
            if (!device.Video().Fill(transfer, transferSize))
                continue;
            if (transfer.empty())
                continue;
            EXPECT_EQ(transfer[0], kPayloadHeaderLength);
            const std::uint8_t info = transfer[1];
            EXPECT_TRUE(info & kHeaderEoh);
            frame.still = info & kHeaderSti;
            frame.fid = info & kHeaderFid;
            frame.data.insert(frame.data.end(), transfer.begin() + kPayloadHeaderLength, transfer.end());
            if (info & kHeaderEof)
                return frame;
        }
        ADD_FAILURE() << "no frame ended";
        return frame;
    }

    RequestLog log;
    ScannerDevice device {{}, log};
};

TEST_F(DeviceTest, CommitStartsTheStreamAtTheCommittedSizeAndFidTogglesPerFrame)
{
    EXPECT_EQ(Request(SET_CUR, VS_COMMIT_CONTROL, kProbeLength, Bytes(kProbeLength, 0)).status, kStatusStall);
    EXPECT_FALSE(device.Streaming());
    ASSERT_EQ(Commit(2).status, kStatusOk);
    ASSERT_TRUE(device.Streaming());
    const auto first = NextFrame();
    const auto second = NextFrame();
    EXPECT_EQ(JpegSize(first.data), (FrameSize {960, 960}));
    EXPECT_FALSE(first.still);
    EXPECT_NE(first.fid, second.fid);

    const auto current = Request(GET_CUR, VS_COMMIT_CONTROL, kProbeLength);
    EXPECT_EQ(VideoProbe::Parse(current.data).frameIndex, 2);
    // Clearing the endpoint's halt is how the host ends a bulk stream.
    EXPECT_EQ(device.Control({0x02, 0x01, 0, kVideoEndpoint, 0}, {}).status, kStatusOk);
    EXPECT_FALSE(device.Streaming());
}

TEST_F(DeviceTest, TriggerSendsOneStillAtTheCommittedStillSize)
{
    EXPECT_EQ(Request(SET_CUR, VS_STILL_IMAGE_TRIGGER_CONTROL, 1, {1}).status, kStatusStall); // not streaming
    ASSERT_EQ(Commit(1).status, kStatusOk);
    StillProbe still;
    still.formatIndex = kMjpegFormatIndex;
    still.frameIndex = 2;
    ASSERT_EQ(Request(SET_CUR, VS_STILL_PROBE_CONTROL, kStillProbeLength, still.Bytes()).status, kStatusOk);
    const auto probed = StillProbe::Parse(Request(GET_CUR, VS_STILL_PROBE_CONTROL, kStillProbeLength).data);
    EXPECT_EQ(probed.maxVideoFrameSize, MaxFrameBytes({2448, 2448}));
    ASSERT_EQ(Request(SET_CUR, VS_STILL_COMMIT_CONTROL, kStillProbeLength, still.Bytes()).status, kStatusOk);
    ASSERT_EQ(Request(SET_CUR, VS_STILL_IMAGE_TRIGGER_CONTROL, 1, {1}).status, kStatusOk);

    // The frame in flight finishes first; the still follows, then live frames again.
    Frame frame = NextFrame();
    if (!frame.still)
        frame = NextFrame();
    EXPECT_TRUE(frame.still);
    EXPECT_EQ(JpegSize(frame.data), (FrameSize {2448, 2448}));
    EXPECT_EQ(Request(GET_CUR, VS_STILL_IMAGE_TRIGGER_CONTROL, 1).data, Bytes {0});
    const auto after = NextFrame();
    EXPECT_FALSE(after.still);
    EXPECT_EQ(JpegSize(after.data), (FrameSize {1280, 960}));
}

TEST(Payloads, HeadersMarkFrameStillAndEndAndTheDataIsWhole)
{
    Bytes frame(40000);
    std::iota(frame.begin(), frame.end(), 0);
    for (const bool still : {false, true}) {
        const auto payloads = CutIntoPayloads(frame, true, still, 16384);
        ASSERT_EQ(payloads.size(), 3u);
        Bytes joined;
        for (std::size_t i = 0; i < payloads.size(); ++i) {
            const auto& p = payloads[i];
            EXPECT_LE(p.size(), 16384u);
            EXPECT_EQ(p[1], kHeaderEoh | kHeaderFid | (i + 1 == payloads.size() ? kHeaderEof : 0) |
                                (still ? kHeaderSti : 0));
            joined.insert(joined.end(), p.begin() + kPayloadHeaderLength, p.end());
        }
        EXPECT_EQ(joined, frame);
    }
}

TEST(Payloads, TransfersEndOnShortPacketsAsOnTheBus)
{
    struct Case {
        std::size_t frameBytes, transfer;
        std::vector<std::size_t> transfers; // sizes of the completed transfers in order
    };
    const Case cases[] = {
        {100, 16384, {102}},                      // one short payload
        {16382, 16384, {16384}},                  // exactly one full payload: no zero-length packet
        {510, 16384, {512}},                      // whole packets: a zero-length packet ends the transfer
        {510, 512, {512, 0}},                     // ... or the next one, when this one is full
        {20000, 16384, {16384, 3620}},            // full payload, then the rest
        {20000, 8192, {8192, 8192, 3620}},        // payloads larger than the host's transfers
    };
    for (const auto& c : cases) {
        PayloadStream stream(512, 16384);
        stream.QueueFrame(Bytes(c.frameBytes, 0x55), false);
        std::vector<std::size_t> sizes;
        while (!stream.Idle()) {
            Bytes t;
            ASSERT_TRUE(stream.Fill(t, c.transfer));
            sizes.push_back(t.size());
        }
        EXPECT_EQ(sizes, c.transfers) << c.frameBytes << " bytes in transfers of " << c.transfer;
    }
}

} // namespace
} // namespace vistrel::uvcemu
