#include "capture/uvc/PayloadAssembler.h"

#include <utility>

namespace vistrel::uvc {

namespace {

constexpr std::size_t kMinHeaderLength = 2;
constexpr std::size_t kPtsBytes = 4;
constexpr std::size_t kScrBytes = 6;

// The header's own length when it fits the packet and holds the fields its flags announce; 0 otherwise.
std::size_t HeaderLength(std::span<const std::uint8_t> payload)
{
    if (payload.size() < kMinHeaderLength)
        return 0;
    const std::size_t length = payload[0];
    const std::uint8_t info = payload[1];
    const std::size_t needed =
        kMinHeaderLength + (info & kPayloadPts ? kPtsBytes : 0) + (info & kPayloadScr ? kScrBytes : 0);
    if (length < needed || length > payload.size())
        return 0;
    return length;
}

} // namespace

PayloadAssembler::PayloadAssembler(FrameLimits limits, bool eofMarksFrames, FrameSink sink)
    : limits(limits), eofMarksFrames(eofMarksFrames), sink(std::move(sink))
{
}

void PayloadAssembler::Reset()
{
    haveFid = collecting = broken = still = lossUnplaced = false;
    frame.clear();
}

std::uint32_t PayloadAssembler::Limit() const
{
    return still && limits.stillBytes ? limits.stillBytes : limits.videoBytes;
}

void PayloadAssembler::StartFrame(bool fid, bool isStill, bool lostHead)
{
    collecting = true;
    broken = lostHead;
    still = isStill;
    frame.clear();
    haveFid = true;
    lastFid = fid;
}

void PayloadAssembler::EndFrame(bool sawEof)
{
    collecting = false;
    // A frame with no data yet has lost nothing when FID toggles.
    if (!sawEof && eofMarksFrames && !broken && !frame.empty()) {
        Fault(PayloadFault::MissingEof);
        broken = true;
    }
    // An empty frame is no frame: a header-only payload with EOF, or a toggle after one.
    if (!broken && !frame.empty()) {
        ++delivered;
        sink(AssembledFrame {frame, still});
    }
    frame.clear();
}

void PayloadAssembler::Push(std::span<const std::uint8_t> payload)
{
    if (payload.empty())
        return; // an isochronous packet without data
    const std::size_t headerLength = HeaderLength(payload);
    if (headerLength == 0) {
        // Its data is lost; which frame it belonged to shows only by the FID of the next good payload.
        Fault(PayloadFault::MalformedHeader);
        lossUnplaced = true;
        return;
    }
    const std::uint8_t info = payload[1];
    const bool fid = info & kPayloadFid;
    const auto data = payload.subspan(headerLength);
    const bool lossBefore = std::exchange(lossUnplaced, false);

    if (collecting) {
        // A loss just before a toggle may be this frame's tail or the next one's head: both are broken.
        broken = broken || lossBefore;
        if (fid != lastFid)
            EndFrame(false);
    }
    if (!collecting) {
        if (haveFid && fid == lastFid) {
            // Still the frame that has ended: header-only payloads are normal there, data is not.
            if (!data.empty())
                Fault(PayloadFault::OutOfSync);
            return;
        }
        StartFrame(fid, info & kPayloadSti, lossBefore);
    }

    if (info & kPayloadError && !broken) {
        Fault(PayloadFault::ErrorBit);
        broken = true;
    }
    if (!broken) {
        if (data.size() > Limit() - frame.size()) {
            Fault(PayloadFault::Oversized);
            broken = true;
            frame.clear();
        } else {
            frame.insert(frame.end(), data.begin(), data.end());
        }
    }
    if (info & kPayloadEof)
        EndFrame(true);
}

} // namespace vistrel::uvc
