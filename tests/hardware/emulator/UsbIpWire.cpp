#include "UsbIpWire.h"

#include <algorithm>

namespace vistrel::uvcemu {
namespace {

// Field offsets: the basic header, then the command's part of the union.
constexpr std::size_t kCommand = 0, kSeqnum = 4, kDevid = 8, kDirection = 12, kEp = 16;
constexpr std::size_t kFlagsOrStatus = 20, kLength = 24, kStartFrame = 28, kPackets = 32, kIntervalOrErrors = 36;
constexpr std::size_t kSetup = 40;

std::uint32_t ReadBe32(std::span<const std::uint8_t> b, std::size_t at)
{
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 | std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}

void WriteBe32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v)
{
    b[at] = std::uint8_t(v >> 24);
    b[at + 1] = std::uint8_t(v >> 16);
    b[at + 2] = std::uint8_t(v >> 8);
    b[at + 3] = std::uint8_t(v);
}

} // namespace

std::optional<UsbIpHeader> DecodeCommand(std::span<const std::uint8_t, kUsbIpHeaderSize> b)
{
    UsbIpHeader h;
    const auto command = ReadBe32(b, kCommand);
    if (command != std::uint32_t(UsbIpCommand::CmdSubmit) && command != std::uint32_t(UsbIpCommand::CmdUnlink))
        return std::nullopt;
    h.command = UsbIpCommand(command);
    h.seqnum = ReadBe32(b, kSeqnum);
    h.devid = ReadBe32(b, kDevid);
    h.direction = ReadBe32(b, kDirection) ? UsbIpDirection::In : UsbIpDirection::Out;
    h.ep = ReadBe32(b, kEp);
    if (h.command == UsbIpCommand::CmdUnlink) {
        h.unlinkSeqnum = ReadBe32(b, kFlagsOrStatus);
        return h;
    }
    h.transferFlags = ReadBe32(b, kFlagsOrStatus);
    h.transferBufferLength = std::int32_t(ReadBe32(b, kLength));
    h.startFrame = std::int32_t(ReadBe32(b, kStartFrame));
    h.numberOfPackets = std::int32_t(ReadBe32(b, kPackets));
    h.interval = std::int32_t(ReadBe32(b, kIntervalOrErrors));
    std::copy_n(b.begin() + kSetup, h.setup.size(), h.setup.begin());
    return h;
}

std::array<std::uint8_t, kUsbIpHeaderSize> EncodeHeader(const UsbIpHeader& h)
{
    std::array<std::uint8_t, kUsbIpHeaderSize> b {};
    WriteBe32(b, kCommand, std::uint32_t(h.command));
    WriteBe32(b, kSeqnum, h.seqnum);
    WriteBe32(b, kDevid, h.devid);
    WriteBe32(b, kDirection, std::uint32_t(h.direction));
    WriteBe32(b, kEp, h.ep);
    switch (h.command) {
    case UsbIpCommand::CmdSubmit:
        WriteBe32(b, kFlagsOrStatus, h.transferFlags);
        WriteBe32(b, kLength, std::uint32_t(h.transferBufferLength));
        WriteBe32(b, kStartFrame, std::uint32_t(h.startFrame));
        WriteBe32(b, kPackets, std::uint32_t(h.numberOfPackets));
        WriteBe32(b, kIntervalOrErrors, std::uint32_t(h.interval));
        std::copy(h.setup.begin(), h.setup.end(), b.begin() + kSetup);
        break;
    case UsbIpCommand::CmdUnlink:
        WriteBe32(b, kFlagsOrStatus, h.unlinkSeqnum);
        break;
    case UsbIpCommand::RetSubmit:
        WriteBe32(b, kFlagsOrStatus, std::uint32_t(h.status));
        WriteBe32(b, kLength, std::uint32_t(h.actualLength));
        WriteBe32(b, kStartFrame, std::uint32_t(h.startFrame));
        WriteBe32(b, kPackets, std::uint32_t(h.numberOfPackets));
        WriteBe32(b, kIntervalOrErrors, std::uint32_t(h.errorCount));
        break;
    case UsbIpCommand::RetUnlink:
        WriteBe32(b, kFlagsOrStatus, std::uint32_t(h.status));
        break;
    }
    return b;
}

std::vector<std::uint8_t> RetSubmit(std::uint32_t seqnum, std::int32_t status, std::span<const std::uint8_t> inData,
                                    std::int32_t outLength)
{
    // The reply's devid, direction and endpoint are 0: vhci finds the transfer by its sequence number.
    UsbIpHeader h;
    h.command = UsbIpCommand::RetSubmit;
    h.seqnum = seqnum;
    h.status = status;
    h.actualLength = inData.empty() ? outLength : std::int32_t(inData.size());
    const auto header = EncodeHeader(h);
    std::vector<std::uint8_t> message(kUsbIpHeaderSize + inData.size());
    std::copy(header.begin(), header.end(), message.begin());
    std::copy(inData.begin(), inData.end(), message.begin() + kUsbIpHeaderSize);
    return message;
}

std::vector<IsoPacket> DecodeIsoPackets(std::span<const std::uint8_t> b)
{
    std::vector<IsoPacket> packets(b.size() / kUsbIpIsoDescriptorSize);
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const std::size_t at = i * kUsbIpIsoDescriptorSize;
        packets[i] = {ReadBe32(b, at), ReadBe32(b, at + 4), ReadBe32(b, at + 8), std::int32_t(ReadBe32(b, at + 12))};
    }
    return packets;
}

std::vector<std::uint8_t> EncodeIsoPackets(std::span<const IsoPacket> packets)
{
    std::vector<std::uint8_t> b(packets.size() * kUsbIpIsoDescriptorSize);
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const std::size_t at = i * kUsbIpIsoDescriptorSize;
        WriteBe32(b, at, packets[i].offset);
        WriteBe32(b, at + 4, packets[i].length);
        WriteBe32(b, at + 8, packets[i].actualLength);
        WriteBe32(b, at + 12, std::uint32_t(packets[i].status));
    }
    return b;
}

std::vector<std::uint8_t> RetSubmitIso(std::uint32_t seqnum, std::int32_t startFrame, std::span<const IsoPacket> packets,
                                       std::span<const std::uint8_t> packedData)
{
    // vhci checks that the packets' actual lengths add up to the transfer's and counts the failed ones.
    UsbIpHeader h;
    h.command = UsbIpCommand::RetSubmit;
    h.seqnum = seqnum;
    h.actualLength = std::int32_t(packedData.size());
    h.startFrame = startFrame;
    h.numberOfPackets = std::int32_t(packets.size());
    h.errorCount = std::int32_t(std::count_if(packets.begin(), packets.end(), [](const IsoPacket& p) { return p.status != 0; }));
    const auto header = EncodeHeader(h);
    const auto descriptors = EncodeIsoPackets(packets);
    std::vector<std::uint8_t> message(kUsbIpHeaderSize + packedData.size() + descriptors.size());
    auto at = std::copy(header.begin(), header.end(), message.begin());
    at = std::copy(packedData.begin(), packedData.end(), at);
    std::copy(descriptors.begin(), descriptors.end(), at);
    return message;
}

std::vector<std::uint8_t> RetUnlink(std::uint32_t seqnum, std::int32_t status)
{
    UsbIpHeader h;
    h.command = UsbIpCommand::RetUnlink;
    h.seqnum = seqnum;
    h.status = status;
    const auto header = EncodeHeader(h);
    return {header.begin(), header.end()};
}

} // namespace vistrel::uvcemu
