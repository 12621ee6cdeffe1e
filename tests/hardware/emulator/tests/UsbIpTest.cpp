// The USB/IP side: the wire layout of the messages, and a connection answering a host over a socket
// pair the way vhci-hcd talks to it (control transfers, pending IN transfers, unlinks).
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <turbojpeg.h>
#include <unistd.h>

#include "UsbIpConnection.h"
#include "VhciPort.h"

namespace vistrel::uvcemu {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(UsbIpWire, HeadersAreBigEndianAtTheKernelsOffsets)
{
    UsbIpHeader submit;
    submit.command = UsbIpCommand::CmdSubmit;
    submit.seqnum = 0x01020304;
    submit.devid = 0x00010002;
    submit.direction = UsbIpDirection::In;
    submit.ep = 2;
    submit.transferBufferLength = 16384;
    submit.setup = {0x80, 0x06, 0x00, 0x01, 0x00, 0x00, 0x12, 0x00};
    const auto bytes = EncodeHeader(submit);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 8), (Bytes {0, 0, 0, 1, 1, 2, 3, 4}));
    EXPECT_EQ(Bytes(bytes.begin() + 12, bytes.begin() + 20), (Bytes {0, 0, 0, 1, 0, 0, 0, 2}));
    EXPECT_EQ(Bytes(bytes.begin() + 24, bytes.begin() + 28), (Bytes {0, 0, 0x40, 0}));
    EXPECT_EQ(Bytes(bytes.begin() + 40, bytes.end()), Bytes(submit.setup.begin(), submit.setup.end()));
    const auto decoded = DecodeCommand(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(EncodeHeader(*decoded), bytes);

    const auto ret = RetSubmit(7, -32, {}, 0);
    ASSERT_EQ(ret.size(), kUsbIpHeaderSize);
    EXPECT_EQ(Bytes(ret.begin(), ret.begin() + 8), (Bytes {0, 0, 0, 3, 0, 0, 0, 7}));
    EXPECT_EQ(Bytes(ret.begin() + 20, ret.begin() + 24), (Bytes {0xFF, 0xFF, 0xFF, 0xE0}));
    const auto unlink = RetUnlink(9, -104);
    EXPECT_EQ(Bytes(unlink.begin(), unlink.begin() + 4), (Bytes {0, 0, 0, 4}));

    auto reply = bytes;
    reply[3] = std::uint8_t(UsbIpCommand::RetSubmit); // the device never receives replies
    EXPECT_FALSE(DecodeCommand(reply));
}

// vhci reads the packets' data back to back (actual lengths only) and then one descriptor per packet,
// checks that the actual lengths add up to the transfer's, and moves each packet to its offset.
TEST(UsbIpWire, IsochronousRepliesPackTheDataAndKeepTheSubmittedOffsets)
{
    const std::vector<IsoPacket> packets {{0, 3072, 3, 0}, {3072, 3072, 0, 0}, {6144, 3072, 2, -75}};
    const Bytes data {1, 2, 3, 4, 5};
    const auto ret = RetSubmitIso(5, 77, packets, data);
    ASSERT_EQ(ret.size(), kUsbIpHeaderSize + data.size() + 3 * kUsbIpIsoDescriptorSize);
    EXPECT_EQ(Bytes(ret.begin(), ret.begin() + 8), (Bytes {0, 0, 0, 3, 0, 0, 0, 5}));
    EXPECT_EQ(Bytes(ret.begin() + 20, ret.begin() + 40),
              (Bytes {0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 77, 0, 0, 0, 3, 0, 0, 0, 1}));
    EXPECT_EQ(Bytes(ret.begin() + kUsbIpHeaderSize, ret.begin() + kUsbIpHeaderSize + 5), data);
    const Bytes descriptors(ret.begin() + kUsbIpHeaderSize + 5, ret.end());
    // offset, length, actual_length, status
    EXPECT_EQ(Bytes(descriptors.begin() + 16, descriptors.begin() + 32),
              (Bytes {0, 0, 0x0C, 0, 0, 0, 0x0C, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(descriptors.begin() + 40, descriptors.end()), (Bytes {0, 0, 0, 2, 0xFF, 0xFF, 0xFF, 0xB5}));
    EXPECT_EQ(DecodeIsoPackets(descriptors), packets);
}

TEST(VhciStatus, FindsTheFirstFreeHighSpeedPort)
{
    struct Case {
        const char* status;
        std::optional<int> port;
    };
    const Case cases[] = {
        {"hub port sta spd dev      sockfd local_busid\n"
         "hs  0000 006 003 00010002 000003 1-1\n"
         "hs  0001 004 000 00000000 000000 0-0\n"
         "ss  0008 004 000 00000000 000000 0-0\n",
         1},
        {"hub port sta spd dev      sockfd local_busid\n"
         "hs  0000 006 003 00010002 000003 1-1\n"
         "ss  0008 004 000 00000000 000000 0-0\n",
         std::nullopt},
        {"port sta spd dev      socket           local_busid\n"
         "0000 004 000 00000000 0000000000000000 0-0\n",
         0},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FreeHighSpeedPort(c.status), c.port) << c.status;
}

// The host's end of the connection: writes commands, reads replies.
class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        int sv[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
        host = sv[1];
        connection = std::make_unique<UsbIpConnection>(sv[0], *device, log);
    }
    void TearDown() override
    {
        connection.reset();
        ::close(host);
    }

    void Submit(std::uint32_t seqnum, std::uint32_t ep, UsbIpDirection direction, std::int32_t length,
                const SetupPacket& setup = {}, const Bytes& out = {})
    {
        UsbIpHeader h;
        h.command = UsbIpCommand::CmdSubmit;
        h.seqnum = seqnum;
        h.direction = direction;
        h.ep = ep;
        h.transferBufferLength = length;
        h.setup = setup.Bytes();
        Write(h, out);
    }
    void Unlink(std::uint32_t seqnum, std::uint32_t victim)
    {
        UsbIpHeader h;
        h.command = UsbIpCommand::CmdUnlink;
        h.seqnum = seqnum;
        h.unlinkSeqnum = victim;
        Write(h, {});
    }
    void Write(const UsbIpHeader& h, const Bytes& out)
    {
        auto bytes = EncodeHeader(h);
        Bytes message(bytes.begin(), bytes.end());
        message.insert(message.end(), out.begin(), out.end());
        // Delivered in two pieces: a message may arrive split.
        const std::size_t half = message.size() / 2;
        ASSERT_EQ(::write(host, message.data(), half), ssize_t(half));
        ASSERT_TRUE(connection->OnReadable());
        ASSERT_EQ(::write(host, message.data() + half, message.size() - half), ssize_t(message.size() - half));
        ASSERT_TRUE(connection->OnReadable());
    }
    struct Reply {
        std::uint32_t command, seqnum;
        std::int32_t status, actualLength;
        Bytes data;
    };
    Reply Read()
    {
        std::uint8_t h[kUsbIpHeaderSize];
        EXPECT_EQ(::recv(host, h, sizeof h, MSG_WAITALL), ssize_t(sizeof h));
        const auto be = [&](int at) {
            return std::uint32_t(h[at]) << 24 | std::uint32_t(h[at + 1]) << 16 | std::uint32_t(h[at + 2]) << 8 | h[at + 3];
        };
        Reply r {be(0), be(4), std::int32_t(be(20)), std::int32_t(be(24)), {}};
        if (r.command == std::uint32_t(UsbIpCommand::RetSubmit) && r.actualLength > 0 && expectIn) {
            r.data.resize(std::size_t(r.actualLength));
            EXPECT_EQ(::recv(host, r.data.data(), r.data.size(), MSG_WAITALL), ssize_t(r.data.size()));
        }
        return r;
    }
    bool NothingToRead()
    {
        std::uint8_t b;
        return ::recv(host, &b, 1, MSG_DONTWAIT | MSG_PEEK) < 0;
    }

    // Starts over with a device whose video endpoint is isochronous.
    void ConnectIsochronous()
    {
        TearDown();
        ScannerOptions options;
        options.transfer = VideoTransfer::Isochronous;
        device = std::make_unique<ScannerDevice>(options, log);
        SetUp();
    }
    void Control(std::uint32_t seqnum, const SetupPacket& setup, const Bytes& out = {})
    {
        const bool in = setup.DeviceToHost();
        Submit(seqnum, 0, in ? UsbIpDirection::In : UsbIpDirection::Out, setup.length, setup, out);
        expectIn = in;
        lastStatus = Read().status;
        expectIn = true;
    }
    // An isochronous IN submission of `count` packets of `length` bytes, laid out as uvcvideo does.
    void SubmitIso(std::uint32_t seqnum, int count, std::uint32_t length)
    {
        std::vector<IsoPacket> packets;
        for (int i = 0; i < count; ++i)
            packets.push_back({std::uint32_t(i) * length, length, 0, 0});
        UsbIpHeader h;
        h.command = UsbIpCommand::CmdSubmit;
        h.seqnum = seqnum;
        h.direction = UsbIpDirection::In;
        h.ep = kVideoEndpoint & 0x0F;
        h.transferBufferLength = std::int32_t(count * length);
        h.numberOfPackets = count;
        h.startFrame = 12;
        Write(h, EncodeIsoPackets(packets));
    }
    struct IsoReply {
        std::int32_t status = 0, actualLength = 0, startFrame = 0, packetCount = 0, errorCount = 0;
        std::vector<IsoPacket> packets;
        std::vector<Bytes> payloads; // each packet's data, moved to its place as vhci does
    };
    IsoReply ReadIso()
    {
        std::uint8_t h[kUsbIpHeaderSize];
        EXPECT_EQ(::recv(host, h, sizeof h, MSG_WAITALL), ssize_t(sizeof h));
        const auto be = [&](int at) {
            return std::int32_t(std::uint32_t(h[at]) << 24 | std::uint32_t(h[at + 1]) << 16 |
                                std::uint32_t(h[at + 2]) << 8 | h[at + 3]);
        };
        IsoReply r {be(20), be(24), be(28), be(32), be(36), {}, {}};
        Bytes data(std::size_t(r.actualLength)), descriptors(std::size_t(r.packetCount) * kUsbIpIsoDescriptorSize);
        EXPECT_EQ(::recv(host, data.data(), data.size(), MSG_WAITALL), ssize_t(data.size()));
        EXPECT_EQ(::recv(host, descriptors.data(), descriptors.size(), MSG_WAITALL), ssize_t(descriptors.size()));
        r.packets = DecodeIsoPackets(descriptors);
        std::size_t at = 0;
        for (const auto& p : r.packets) {
            r.payloads.emplace_back(data.begin() + at, data.begin() + at + p.actualLength);
            at += p.actualLength;
        }
        EXPECT_EQ(at, data.size()) << "the packets' lengths do not add up to the transfer's";
        return r;
    }

    RequestLog log;
    std::unique_ptr<ScannerDevice> device = std::make_unique<ScannerDevice>(ScannerOptions {}, log);
    std::unique_ptr<UsbIpConnection> connection;
    int host = -1;
    bool expectIn = true;
    std::int32_t lastStatus = 0;
};

TEST_F(ConnectionTest, ControlTransfersAreAnsweredAtOnceWithTheirData)
{
    Submit(1, 0, UsbIpDirection::In, 64, {0x80, 0x06, 0x0100, 0, 64});
    auto r = Read();
    EXPECT_EQ(r.command, std::uint32_t(UsbIpCommand::RetSubmit));
    EXPECT_EQ(r.seqnum, 1u);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.data, DeviceDescriptor());

    // An OUT transfer: its data follows the header; the reply reports the length taken.
    Submit(2, 0, UsbIpDirection::Out, 2, {0x21, SET_CUR, std::uint16_t(PU_GAMMA_CONTROL << 8),
                                          std::uint16_t(kProcessingUnitId << 8), 2}, {0x90, 0x01});
    expectIn = false;
    r = Read();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.actualLength, 2);
    EXPECT_EQ(log.Lines().back(), "SET_CUR if=0 unit=2 cs=9 len=2 value=400 ok");

    // A request the device lacks stalls (-EPIPE).
    Submit(3, 0, UsbIpDirection::In, 2, {0xA1, GET_LEN, std::uint16_t(PU_GAMMA_CONTROL << 8),
                                         std::uint16_t(kProcessingUnitId << 8), 2});
    r = Read();
    EXPECT_EQ(r.status, kStatusStall);
    EXPECT_EQ(r.actualLength, 0);
}

TEST_F(ConnectionTest, InTransfersWaitForDataAndUnlinkCancelsThem)
{
    Submit(10, kStatusEndpoint & 0x0F, UsbIpDirection::In, 16);
    Submit(11, kVideoEndpoint & 0x0F, UsbIpDirection::In, 16384);
    EXPECT_TRUE(NothingToRead());
    EXPECT_EQ(connection->PendingTransfers(), 2u);

    device->PressButton();
    connection->Pump();
    auto r = Read();
    EXPECT_EQ(r.seqnum, 10u);
    EXPECT_EQ(r.data, (Bytes {0x02, kStreamingInterface, 0x00, 1}));

    Unlink(12, 11);
    r = Read();
    EXPECT_EQ(r.command, std::uint32_t(UsbIpCommand::RetUnlink));
    EXPECT_EQ(r.seqnum, 12u);
    EXPECT_EQ(r.status, -104);
    // Too late: the transfer was already answered.
    Unlink(13, 10);
    r = Read();
    EXPECT_EQ(r.seqnum, 13u);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(connection->PendingTransfers(), 0u);
    EXPECT_TRUE(NothingToRead());
}

// What uvcvideo does on an isochronous device: commit, choose the setting whose bandwidth covers the
// payload size, then keep isochronous transfers queued; each packet carries one payload.
TEST_F(ConnectionTest, IsochronousTransfersCarryOnePayloadPerPacket)
{
    ConnectIsochronous();
    constexpr std::uint8_t kHighBandwidth = 4;
    const auto perPacket = std::uint32_t(IsoBytesPerInterval(kHighBandwidth));
    ASSERT_EQ(perPacket, 3u * 1024u);
    Control(1, {0x01, 0x0B, 9, kStreamingInterface, 0}); // a setting the device lacks
    EXPECT_EQ(lastStatus, kStatusStall);
    VideoProbe probe;
    probe.formatIndex = kMjpegFormatIndex;
    probe.frameIndex = 1;
    probe.frameInterval = kFrameInterval;
    Control(2, {0x21, SET_CUR, std::uint16_t(VS_COMMIT_CONTROL << 8), kStreamingInterface, kProbeLength}, probe.Bytes());
    ASSERT_EQ(lastStatus, kStatusOk);
    EXPECT_FALSE(device->Streaming()) << "an isochronous stream waits for its bandwidth";
    Control(3, {0x01, 0x0B, kHighBandwidth, kStreamingInterface, 0});
    ASSERT_EQ(lastStatus, kStatusOk);
    ASSERT_TRUE(device->Streaming());

    // Nothing to send yet: the transfer waits, delivered in two pieces like every message here.
    SubmitIso(20, 32, perPacket);
    EXPECT_TRUE(NothingToRead());
    device->FrameTick();
    Bytes frame;
    std::uint32_t seqnum = 20;
    for (bool ended = false; !ended; ++seqnum) {
        if (seqnum > 20)
            SubmitIso(seqnum, 32, perPacket);
        connection->Pump();
        const auto r = ReadIso();
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.startFrame, 12);
        ASSERT_EQ(r.packetCount, 32);
        EXPECT_EQ(r.errorCount, 0);
        for (std::size_t i = 0; i < r.packets.size() && !ended; ++i) {
            EXPECT_EQ(r.packets[i].offset, i * perPacket);
            EXPECT_EQ(r.packets[i].status, 0);
            const Bytes& payload = r.payloads[i];
            ASSERT_GE(payload.size(), kPayloadHeaderLength);
            ASSERT_EQ(payload[0], kPayloadHeaderLength);
            EXPECT_TRUE(payload[1] & kHeaderEoh);
            frame.insert(frame.end(), payload.begin() + kPayloadHeaderLength, payload.end());
            ended = payload[1] & kHeaderEof;
            // After the frame's end the remaining packets of the transfer are empty.
            if (ended) {
                for (std::size_t rest = i + 1; rest < r.packets.size(); ++rest)
                    EXPECT_EQ(r.packets[rest].actualLength, 0u);
            }
        }
        ASSERT_LT(seqnum, 200u) << "the frame did not end";
    }
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, sub = 0, colours = 0;
    EXPECT_EQ(tjDecompressHeader3(decoder, frame.data(), frame.size(), &width, &height, &sub, &colours), 0);
    tjDestroy(decoder);
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 960);

    // A host that asks for packets smaller than the setting's payloads gets babble, not cut payloads.
    SubmitIso(300, 4, 1024);
    device->FrameTick();
    connection->Pump();
    const auto babble = ReadIso();
    EXPECT_EQ(babble.errorCount, 4);
    for (const auto& p : babble.packets) {
        EXPECT_EQ(p.status, -75);
        EXPECT_EQ(p.actualLength, 0u);
    }

    // Setting 0 ends the stream.
    Control(301, {0x01, 0x0B, 0, kStreamingInterface, 0});
    EXPECT_FALSE(device->Streaming());
    const auto& lines = log.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), "STREAM stop set-interface"), lines.end());
}

TEST_F(ConnectionTest, AnIsochronousSubmissionWithoutPacketsEndsTheConnection)
{
    ConnectIsochronous();
    UsbIpHeader h;
    h.command = UsbIpCommand::CmdSubmit;
    h.direction = UsbIpDirection::In;
    h.ep = kVideoEndpoint & 0x0F;
    h.transferBufferLength = 3072;
    const auto bytes = EncodeHeader(h);
    ASSERT_EQ(::write(host, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    EXPECT_FALSE(connection->OnReadable());
}

TEST_F(ConnectionTest, AnythingButACommandEndsTheConnection)
{
    UsbIpHeader h;
    h.command = UsbIpCommand::RetSubmit;
    const auto bytes = EncodeHeader(h);
    ASSERT_EQ(::write(host, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    EXPECT_FALSE(connection->OnReadable());
}

} // namespace
} // namespace vistrel::uvcemu
