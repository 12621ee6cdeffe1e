#pragma once
// Class requests to the video streaming interface: probe and commit of the video format (negotiated as
// a video-class 1.1 device does), still probe and commit (still method 2) and the still trigger.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "ScannerDescriptors.h"
#include "UsbRequest.h"

namespace vistrel::uvcemu {

enum StreamingSelector : std::uint8_t {
    VS_PROBE_CONTROL = 0x01,
    VS_COMMIT_CONTROL = 0x02,
    VS_STILL_PROBE_CONTROL = 0x03,
    VS_STILL_COMMIT_CONTROL = 0x04,
    VS_STILL_IMAGE_TRIGGER_CONTROL = 0x05,
};

// Sizes of the controls for a 1.1 device.
constexpr std::uint16_t kProbeLength = 34;
constexpr std::uint16_t kStillProbeLength = 11;
// The largest payload the device sends: 32 bulk packets, header included.
constexpr std::uint32_t kMaxPayloadTransfer = 32 * kBulkPacketSize;

struct VideoProbe {
    std::uint16_t hint = 0;
    std::uint8_t formatIndex = 0;
    std::uint8_t frameIndex = 0;
    std::uint32_t frameInterval = 0;
    std::uint16_t keyFrameRate = 0, pFrameRate = 0, compQuality = 0, compWindowSize = 0, delay = 0;
    std::uint32_t maxVideoFrameSize = 0;
    std::uint32_t maxPayloadTransferSize = 0;
    std::uint32_t clockFrequency = 0;
    std::uint8_t framingInfo = 0, preferedVersion = 0, minVersion = 0, maxVersion = 0;

    static VideoProbe Parse(std::span<const std::uint8_t> data);
    std::vector<std::uint8_t> Bytes() const;
};

struct StillProbe {
    std::uint8_t formatIndex = 0;
    std::uint8_t frameIndex = 0;
    std::uint8_t compressionIndex = 0;
    std::uint32_t maxVideoFrameSize = 0;
    std::uint32_t maxPayloadTransferSize = 0;

    static StillProbe Parse(std::span<const std::uint8_t> data);
    std::vector<std::uint8_t> Bytes() const;
};

// What the device does after a request: nothing, start streaming the committed format, or stop.
enum class StreamEvent { None, Commit, StillTrigger };

class StreamingRequests {
public:
    explicit StreamingRequests(VideoTransfer transfer = VideoTransfer::Bulk);

    ControlAnswer Handle(const SetupPacket& setup, std::uint8_t selector, std::span<const std::uint8_t> data,
                         StreamEvent* event);

    // The committed video size; none until a commit.
    std::optional<FrameSize> CommittedFrame() const;
    // The still size of the committed still format (the first still frame when none was committed).
    FrameSize StillFrame() const;
    // The trigger returns to normal operation once the still has been sent.
    void StillSent() { trigger = 0; }
    bool StillRequested() const { return trigger == kTriggerStill; }
    void Reset();

    // The device's answer to a probe: the nearest format and frame it has, with its own sizes filled in.
    // On an isochronous endpoint the payload is what one microframe of the frame's bandwidth carries.
    static VideoProbe Negotiate(const VideoProbe& wanted, VideoTransfer transfer = VideoTransfer::Bulk);
    static StillProbe NegotiateStill(const StillProbe& wanted, VideoTransfer transfer = VideoTransfer::Bulk);

private:
    static constexpr std::uint8_t kTriggerStill = 1;

    ControlAnswer Video(const SetupPacket& setup, bool commit, std::span<const std::uint8_t> data, StreamEvent* event);
    ControlAnswer Still(const SetupPacket& setup, bool commit, std::span<const std::uint8_t> data);
    ControlAnswer Trigger(const SetupPacket& setup, std::span<const std::uint8_t> data, StreamEvent* event);

    VideoTransfer transfer;
    VideoProbe probe, commit;
    bool committed = false;
    StillProbe stillProbe, stillCommit;
    std::uint8_t trigger = 0;
};

} // namespace vistrel::uvcemu
