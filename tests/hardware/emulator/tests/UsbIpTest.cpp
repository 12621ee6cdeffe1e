// The USB/IP side: the wire layout of the messages, and a connection answering a host over a socket
// pair the way vhci-hcd talks to it (control transfers, pending IN transfers, unlinks).
#include <gtest/gtest.h>

#include <sys/socket.h>
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
        connection = std::make_unique<UsbIpConnection>(sv[0], device, log);
    }
    void TearDown() override { ::close(host); }

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

    RequestLog log;
    ScannerDevice device {{}, log};
    std::unique_ptr<UsbIpConnection> connection;
    int host = -1;
    bool expectIn = true;
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

    device.PressButton();
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
