#include "UsbIpConnection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace vistrel::uvcemu {
namespace {

constexpr std::int32_t kStatusUnlinked = -104; // -ECONNRESET
constexpr std::size_t kReadChunk = 65536;
constexpr std::uint32_t kStatusEndpointNumber = kStatusEndpoint & 0x0F;
constexpr std::uint32_t kVideoEndpointNumber = kVideoEndpoint & 0x0F;

} // namespace

UsbIpConnection::UsbIpConnection(int f, ScannerDevice& d, RequestLog& l) : fd(f), device(d), log(l) {}

UsbIpConnection::~UsbIpConnection()
{
    if (fd >= 0)
        ::close(fd);
}

bool UsbIpConnection::OnReadable()
{
    std::uint8_t buffer[kReadChunk];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return true;
    if (n <= 0)
        return false;
    Receive({buffer, std::size_t(n)});
    return !broken;
}

void UsbIpConnection::Receive(std::span<const std::uint8_t> bytes)
{
    input.insert(input.end(), bytes.begin(), bytes.end());
    std::size_t at = 0;
    while (input.size() - at >= kUsbIpHeaderSize) {
        const auto header = DecodeCommand(std::span<const std::uint8_t, kUsbIpHeaderSize>(input.data() + at, kUsbIpHeaderSize));
        if (!header) {
            log.Line("USBIP bad command: connection dropped");
            broken = true;
            input.clear();
            return;
        }
        const bool submit = header->command == UsbIpCommand::CmdSubmit;
        std::size_t outLength = 0;
        if (submit && header->direction == UsbIpDirection::Out)
            outLength = std::size_t(std::max(header->transferBufferLength, 0));
        // The stub reads packet descriptors by the endpoint's type, and drops a host that sends too many.
        std::size_t isoLength = 0;
        if (submit && device.Isochronous(header->ep)) {
            if (header->numberOfPackets <= 0 || header->numberOfPackets > kUsbIpMaxIsoPackets) {
                log.Line("USBIP bad isochronous packet count " + std::to_string(header->numberOfPackets) +
                         ": connection dropped");
                broken = true;
                input.clear();
                return;
            }
            isoLength = std::size_t(header->numberOfPackets) * kUsbIpIsoDescriptorSize;
        }
        if (input.size() - at < kUsbIpHeaderSize + outLength + isoLength)
            break;
        const std::uint8_t* body = input.data() + at + kUsbIpHeaderSize;
        Handle(*header, {body, outLength}, DecodeIsoPackets({body + outLength, isoLength}));
        at += kUsbIpHeaderSize + outLength + isoLength;
    }
    input.erase(input.begin(), input.begin() + at);
    Pump();
}

void UsbIpConnection::Handle(const UsbIpHeader& h, std::span<const std::uint8_t> out, std::vector<IsoPacket> iso)
{
    if (h.command == UsbIpCommand::CmdUnlink) {
        for (auto it = pending.begin(); it != pending.end(); ++it) {
            if (it->seqnum == h.unlinkSeqnum) {
                pending.erase(it);
                Send(RetUnlink(h.seqnum, kStatusUnlinked));
                return;
            }
        }
        // Already answered: the unlink comes too late to cancel anything.
        Send(RetUnlink(h.seqnum, 0));
        return;
    }
    if (h.ep == 0) {
        const auto setup = SetupPacket::FromBytes(h.setup);
        const auto result = device.Control(setup, out);
        Send(RetSubmit(h.seqnum, result.status, result.data, result.status == kStatusOk ? std::int32_t(out.size()) : 0));
        return;
    }
    const bool in = h.direction == UsbIpDirection::In;
    if (in && (h.ep == kStatusEndpointNumber || h.ep == kVideoEndpointNumber) && h.transferBufferLength >= 0) {
        pending.push_back({h.seqnum, h.ep, std::size_t(h.transferBufferLength), {}, std::move(iso), h.startFrame});
        return;
    }
    log.Line("USBIP transfer to endpoint " + std::to_string(h.ep) + " stalled");
    Send(RetSubmit(h.seqnum, kStatusStall, {}, 0));
}

void UsbIpConnection::Pump()
{
    // Transfers on one endpoint complete in the order they were submitted.
    bool videoWaits = false;
    for (auto it = pending.begin(); it != pending.end();) {
        if (it->endpoint == kVideoEndpointNumber) {
            const auto filled = [&] {
                return it->iso.empty() ? device.Video().Fill(it->data, it->capacity)
                                       : device.Video().FillIso(it->iso, it->data);
            };
            if (videoWaits || !device.Streaming() || !filled()) {
                videoWaits = true;
                ++it;
                continue;
            }
        } else {
            auto packet = device.NextStatusPacket();
            if (!packet) {
                ++it;
                continue;
            }
            if (packet->size() > it->capacity)
                packet->resize(it->capacity);
            it->data = std::move(*packet);
        }
        Send(it->iso.empty() ? RetSubmit(it->seqnum, kStatusOk, it->data, 0)
                             : RetSubmitIso(it->seqnum, it->startFrame, it->iso, it->data));
        it = pending.erase(it);
    }
}

void UsbIpConnection::Send(const std::vector<std::uint8_t>& message)
{
    std::size_t sent = 0;
    while (sent < message.size() && !broken) {
        const ssize_t n = ::send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            broken = true;
            break;
        }
        sent += std::size_t(n);
    }
}

} // namespace vistrel::uvcemu
