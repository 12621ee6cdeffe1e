#pragma once
// The video endpoint's byte stream: frames cut into payloads, each with a video-class payload header
// (FID toggling per frame, EOF on a frame's last payload, STI on a still's), sent as bulk packets.
// Host transfers take packets until they are full or a short packet ends them, as on a real bus; on an
// isochronous endpoint every packet (one microframe) carries one payload of its own.
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

#include "UsbIpWire.h"

namespace vistrel::uvcemu {

// bmHeaderInfo bits.
constexpr std::uint8_t kHeaderFid = 0x01, kHeaderEof = 0x02, kHeaderSti = 0x20, kHeaderEoh = 0x80;
constexpr std::uint8_t kPayloadHeaderLength = 2;

// The payloads of one frame, each at most maxPayload bytes with its header.
std::vector<std::vector<std::uint8_t>> CutIntoPayloads(std::span<const std::uint8_t> frame, bool fid, bool still,
                                                       std::size_t maxPayload);

class PayloadStream {
public:
    PayloadStream(std::size_t packetSize, std::size_t maxPayload) : packetSize(packetSize), maxPayload(maxPayload) {}

    // Drops what was queued and cuts later frames to other sizes (the isochronous setting the host chose).
    void Resize(std::size_t newPacketSize, std::size_t newMaxPayload);

    // Queues a frame behind whatever is still being sent.
    void QueueFrame(std::span<const std::uint8_t> frame, bool still);
    // Bytes of frames not yet taken by the host.
    bool Idle() const { return packets.empty(); }
    // Drops what was not sent (streaming stopped); the next frame still toggles FID.
    void Clear();

    // Fills a host transfer of `capacity` bytes that already holds `filled`: appends packets and answers
    // whether the transfer is complete (full, or ended by a short packet).
    bool Fill(std::vector<std::uint8_t>& transfer, std::size_t capacity);
    // Fills an isochronous transfer: the next packets go back to back into `packed`, each descriptor gets
    // its actual length and status. A packet longer than the host's is babble: the host controller
    // reports -EOVERFLOW and the data is lost. Answers whether there was anything to send.
    bool FillIso(std::span<IsoPacket> transfer, std::vector<std::uint8_t>& packed);

private:
    struct Packet {
        std::size_t offset, length;
    };
    std::size_t packetSize, maxPayload;
    bool fid = false;
    std::vector<std::uint8_t> bytes;   // the queued stream; packets index into it
    std::size_t consumed = 0;          // bytes at the front already sent
    std::deque<Packet> packets;
};

} // namespace vistrel::uvcemu
