#pragma once
// The USB/IP messages between vhci-hcd and a device: a 48-byte header, big-endian on the wire, then the
// transfer's data (OUT submissions and IN replies), then on an isochronous endpoint one 16-byte descriptor
// per packet. An isochronous IN reply packs the packets' data without the gaps between their offsets.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vistrel::uvcemu {

enum class UsbIpCommand : std::uint32_t {
    CmdSubmit = 1,
    CmdUnlink = 2,
    RetSubmit = 3,
    RetUnlink = 4,
};

enum class UsbIpDirection : std::uint32_t { Out = 0, In = 1 };

constexpr std::size_t kUsbIpHeaderSize = 48;
constexpr std::size_t kUsbIpIsoDescriptorSize = 16;
// The most packets vhci and the stub accept in one isochronous transfer (USBIP_MAX_ISO_PACKETS).
constexpr std::int32_t kUsbIpMaxIsoPackets = 1024;

struct UsbIpHeader {
    UsbIpCommand command = UsbIpCommand::CmdSubmit;
    std::uint32_t seqnum = 0;
    std::uint32_t devid = 0;
    UsbIpDirection direction = UsbIpDirection::Out;
    std::uint32_t ep = 0;
    // CMD_SUBMIT
    std::uint32_t transferFlags = 0;
    std::int32_t transferBufferLength = 0;
    std::int32_t startFrame = 0;
    std::int32_t numberOfPackets = 0;
    std::int32_t interval = 0;
    std::array<std::uint8_t, 8> setup {};
    // CMD_UNLINK: the submission to cancel
    std::uint32_t unlinkSeqnum = 0;
    // RET_SUBMIT / RET_UNLINK
    std::int32_t status = 0;
    std::int32_t actualLength = 0;
    std::int32_t errorCount = 0;
};

// One packet of an isochronous transfer (usbip_iso_packet_descriptor): where it lies in the host's buffer,
// how long it may be, how long it was and how it ended.
struct IsoPacket {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    std::uint32_t actualLength = 0;
    std::int32_t status = 0;
    bool operator==(const IsoPacket&) const = default;
};

std::vector<IsoPacket> DecodeIsoPackets(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> EncodeIsoPackets(std::span<const IsoPacket> packets);

// Decodes a CMD_SUBMIT or CMD_UNLINK header; none for any other command (the host never sends one).
std::optional<UsbIpHeader> DecodeCommand(std::span<const std::uint8_t, kUsbIpHeaderSize> bytes);
// Encodes any header (the device sends RET_SUBMIT and RET_UNLINK; tests encode commands).
std::array<std::uint8_t, kUsbIpHeaderSize> EncodeHeader(const UsbIpHeader& header);

// The reply to a submission: status 0 or a negative errno, and the data of an IN transfer.
std::vector<std::uint8_t> RetSubmit(std::uint32_t seqnum, std::int32_t status, std::span<const std::uint8_t> inData,
                                    std::int32_t outLength);
// The reply to an isochronous IN submission: the packets' data back to back (their actual lengths), then
// every packet's descriptor with its offset as submitted.
std::vector<std::uint8_t> RetSubmitIso(std::uint32_t seqnum, std::int32_t startFrame, std::span<const IsoPacket> packets,
                                       std::span<const std::uint8_t> packedData);
std::vector<std::uint8_t> RetUnlink(std::uint32_t seqnum, std::int32_t status);

} // namespace vistrel::uvcemu
