#include "PayloadStream.h"

#include <algorithm>

namespace vistrel::uvcemu {
namespace {

constexpr std::int32_t kStatusOverflow = -75; // -EOVERFLOW

} // namespace

std::vector<std::vector<std::uint8_t>> CutIntoPayloads(std::span<const std::uint8_t> frame, bool fid, bool still,
                                                       std::size_t maxPayload)
{
    const std::size_t chunk = maxPayload - kPayloadHeaderLength;
    std::vector<std::vector<std::uint8_t>> payloads;
    std::size_t at = 0;
    do {
        const std::size_t take = std::min(chunk, frame.size() - at);
        const bool last = at + take == frame.size();
        std::uint8_t info = kHeaderEoh | (fid ? kHeaderFid : 0) | (last ? kHeaderEof : 0) | (still ? kHeaderSti : 0);
        std::vector<std::uint8_t> payload {kPayloadHeaderLength, info};
        payload.insert(payload.end(), frame.begin() + at, frame.begin() + at + take);
        payloads.push_back(std::move(payload));
        at += take;
    } while (at < frame.size());
    return payloads;
}

void PayloadStream::QueueFrame(std::span<const std::uint8_t> frame, bool still)
{
    // Compact what was sent before appending.
    bytes.erase(bytes.begin(), bytes.begin() + consumed);
    for (auto& p : packets)
        p.offset -= consumed;
    consumed = 0;

    for (const auto& payload : CutIntoPayloads(frame, fid, still, maxPayload)) {
        const std::size_t start = bytes.size();
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        for (std::size_t at = 0; at < payload.size(); at += packetSize)
            packets.push_back({start + at, std::min(packetSize, payload.size() - at)});
        // A payload shorter than the maximum ends on a short packet: a zero-length one if need be.
        if (payload.size() < maxPayload && payload.size() % packetSize == 0)
            packets.push_back({bytes.size(), 0});
    }
    fid = !fid;
}

void PayloadStream::Resize(std::size_t newPacketSize, std::size_t newMaxPayload)
{
    Clear();
    packetSize = newPacketSize;
    maxPayload = newMaxPayload;
}

void PayloadStream::Clear()
{
    bytes.clear();
    packets.clear();
    consumed = 0;
}

bool PayloadStream::Fill(std::vector<std::uint8_t>& transfer, std::size_t capacity)
{
    while (!packets.empty() && transfer.size() + packets.front().length <= capacity) {
        const Packet p = packets.front();
        packets.pop_front();
        transfer.insert(transfer.end(), bytes.begin() + p.offset, bytes.begin() + p.offset + p.length);
        consumed = p.offset + p.length;
        if (p.length < packetSize || transfer.size() == capacity)
            return true;
    }
    if (packets.empty())
        Clear();
    return transfer.size() == capacity;
}

bool PayloadStream::FillIso(std::span<IsoPacket> transfer, std::vector<std::uint8_t>& packed)
{
    if (packets.empty())
        return false;
    for (auto& iso : transfer) {
        iso.actualLength = 0;
        iso.status = 0;
        if (packets.empty())
            continue; // the microframes after the frame's end carry nothing
        const Packet p = packets.front();
        packets.pop_front();
        consumed = p.offset + p.length;
        if (p.length > iso.length) {
            iso.status = kStatusOverflow;
            continue;
        }
        packed.insert(packed.end(), bytes.begin() + p.offset, bytes.begin() + p.offset + p.length);
        iso.actualLength = std::uint32_t(p.length);
    }
    if (packets.empty())
        Clear();
    return true;
}

} // namespace vistrel::uvcemu
