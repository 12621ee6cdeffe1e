#pragma once
// Frames from video-class payloads: one payload at a time (a bulk transfer's payload or one isochronous
// packet), each starting with its payload header. A frame ends on EOF or when FID toggles; a frame that
// lost data on the way (error bit, a malformed header in its midst, a missing EOF where the device marks
// frames with it, more bytes than the committed maximum) is dropped, never delivered.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace vistrel::uvc {

// bmHeaderInfo bits of the payload header.
constexpr std::uint8_t kPayloadFid = 0x01;
constexpr std::uint8_t kPayloadEof = 0x02;
constexpr std::uint8_t kPayloadPts = 0x04;
constexpr std::uint8_t kPayloadScr = 0x08;
constexpr std::uint8_t kPayloadSti = 0x20;
constexpr std::uint8_t kPayloadError = 0x40;
constexpr std::uint8_t kPayloadEoh = 0x80;

// A complete frame; the bytes are valid during the call that hands it over.
struct AssembledFrame
{
    std::span<const std::uint8_t> bytes;
    bool still = false; // STI: the frame answers a still trigger
};

// What went wrong, counted per stream.
enum class PayloadFault : std::size_t {
    MalformedHeader, // shorter than 2 bytes, bHeaderLength outside 2..packet, or PTS/SCR beyond the header
    ErrorBit,        // the device flagged an error in the frame
    MissingEof,      // FID toggled before EOF on a device that marks frames with EOF
    Oversized,       // more bytes than the frame's committed maximum
    OutOfSync,       // data with the FID of a frame already ended
    Count
};

struct FrameLimits
{
    std::uint32_t videoBytes = 0; // dwMaxVideoFrameSize of the video commit
    std::uint32_t stillBytes = 0; // and of the still commit (method 2 and 3); 0: as video
};

class PayloadAssembler
{
public:
    using FrameSink = std::function<void(const AssembledFrame&)>;

    // eofMarksFrames: the device ends every frame with EOF (bmFramingInfo bit 1 of the commit); a frame
    // ended only by a FID toggle has then lost its last payload.
    PayloadAssembler(FrameLimits limits, bool eofMarksFrames, FrameSink sink);

    // Takes one payload; complete frames go to the sink before it returns.
    void Push(std::span<const std::uint8_t> payload);
    // Forgets the frame in progress and the last FID (after a stream restart).
    void Reset();
    // New limits for the payloads to come (a still committed while the stream runs); the frame in
    // progress and the FID are kept, so no frame is cut where an assembler would be replaced.
    void SetLimits(FrameLimits newLimits) { limits = newLimits; }

    std::uint64_t Faults(PayloadFault fault) const { return faults[static_cast<std::size_t>(fault)]; }
    std::uint64_t FramesDelivered() const { return delivered; }

private:
    void Fault(PayloadFault fault) { ++faults[static_cast<std::size_t>(fault)]; }
    void StartFrame(bool fid, bool isStill, bool lostHead);
    void EndFrame(bool sawEof);
    std::uint32_t Limit() const;

    FrameLimits limits;
    const bool eofMarksFrames;
    const FrameSink sink;

    bool haveFid = false;   // lastFid is known
    bool lastFid = false;   // FID of the frame in progress or of the last one ended
    bool collecting = false;
    bool broken = false;
    bool still = false;
    bool lossUnplaced = false; // a malformed payload came after the last good one
    std::vector<std::uint8_t> frame;
    std::array<std::uint64_t, static_cast<std::size_t>(PayloadFault::Count)> faults {};
    std::uint64_t delivered = 0;
};

} // namespace vistrel::uvc
