#include "StreamingRequests.h"

#include <algorithm>
#include <string>

namespace vistrel::uvcemu {
namespace {

constexpr std::uint8_t kInfoGetSet = 0x03;
constexpr std::uint32_t kClockFrequency = 48'000'000;
constexpr std::uint8_t kFramingFidRequired = 0x01, kFramingEofPresent = 0x02;

std::uint16_t Le16(std::span<const std::uint8_t> d, std::size_t at) { return std::uint16_t(d[at] | d[at + 1] << 8); }
std::uint32_t Le32(std::span<const std::uint8_t> d, std::size_t at)
{
    return std::uint32_t(Le16(d, at)) | std::uint32_t(Le16(d, at + 2)) << 16;
}
void Put16(std::vector<std::uint8_t>& d, std::uint32_t v) { d.push_back(std::uint8_t(v)); d.push_back(std::uint8_t(v >> 8)); }
void Put32(std::vector<std::uint8_t>& d, std::uint32_t v) { Put16(d, v); Put16(d, v >> 16); }

bool ValidFrame(std::uint8_t format, std::uint8_t frame, std::size_t frames)
{
    return format == kMjpegFormatIndex && frame >= 1 && frame <= frames;
}

std::string Describe(const VideoProbe& p)
{
    return "format=" + std::to_string(p.formatIndex) + " frame=" + std::to_string(p.frameIndex) +
           " interval=" + std::to_string(p.frameInterval) + " max_frame=" + std::to_string(p.maxVideoFrameSize) +
           " max_payload=" + std::to_string(p.maxPayloadTransferSize);
}

std::string Describe(const StillProbe& p)
{
    return "format=" + std::to_string(p.formatIndex) + " frame=" + std::to_string(p.frameIndex) +
           " compression=" + std::to_string(p.compressionIndex) + " max_frame=" + std::to_string(p.maxVideoFrameSize) +
           " max_payload=" + std::to_string(p.maxPayloadTransferSize);
}

} // namespace

VideoProbe VideoProbe::Parse(std::span<const std::uint8_t> d)
{
    VideoProbe p;
    if (d.size() < kProbeLength)
        return p;
    p.hint = Le16(d, 0);
    p.formatIndex = d[2];
    p.frameIndex = d[3];
    p.frameInterval = Le32(d, 4);
    p.keyFrameRate = Le16(d, 8);
    p.pFrameRate = Le16(d, 10);
    p.compQuality = Le16(d, 12);
    p.compWindowSize = Le16(d, 14);
    p.delay = Le16(d, 16);
    p.maxVideoFrameSize = Le32(d, 18);
    p.maxPayloadTransferSize = Le32(d, 22);
    p.clockFrequency = Le32(d, 26);
    p.framingInfo = d[30];
    p.preferedVersion = d[31];
    p.minVersion = d[32];
    p.maxVersion = d[33];
    return p;
}

std::vector<std::uint8_t> VideoProbe::Bytes() const
{
    std::vector<std::uint8_t> d;
    Put16(d, hint);
    d.push_back(formatIndex);
    d.push_back(frameIndex);
    Put32(d, frameInterval);
    Put16(d, keyFrameRate);
    Put16(d, pFrameRate);
    Put16(d, compQuality);
    Put16(d, compWindowSize);
    Put16(d, delay);
    Put32(d, maxVideoFrameSize);
    Put32(d, maxPayloadTransferSize);
    Put32(d, clockFrequency);
    d.push_back(framingInfo);
    d.push_back(preferedVersion);
    d.push_back(minVersion);
    d.push_back(maxVersion);
    return d;
}

StillProbe StillProbe::Parse(std::span<const std::uint8_t> d)
{
    StillProbe p;
    if (d.size() < kStillProbeLength)
        return p;
    p.formatIndex = d[0];
    p.frameIndex = d[1];
    p.compressionIndex = d[2];
    p.maxVideoFrameSize = Le32(d, 3);
    p.maxPayloadTransferSize = Le32(d, 7);
    return p;
}

std::vector<std::uint8_t> StillProbe::Bytes() const
{
    std::vector<std::uint8_t> d {formatIndex, frameIndex, compressionIndex};
    Put32(d, maxVideoFrameSize);
    Put32(d, maxPayloadTransferSize);
    return d;
}

StreamingRequests::StreamingRequests(VideoTransfer t) : transfer(t) { Reset(); }

void StreamingRequests::Reset()
{
    probe = commit = Negotiate({}, transfer);
    committed = false;
    stillProbe = stillCommit = NegotiateStill({}, transfer);
    trigger = 0;
}

VideoProbe StreamingRequests::Negotiate(const VideoProbe& wanted, VideoTransfer transfer)
{
    VideoProbe p;
    p.hint = wanted.hint;
    // A format or frame the device lacks is answered with its default.
    const bool valid = ValidFrame(wanted.formatIndex, wanted.frameIndex, std::size(kVideoFrames));
    p.formatIndex = kMjpegFormatIndex;
    p.frameIndex = valid ? wanted.frameIndex : 1;
    p.frameInterval = kFrameInterval; // the only rate each frame has
    p.maxVideoFrameSize = MaxFrameBytes(kVideoFrames[p.frameIndex - 1]);
    p.maxPayloadTransferSize =
        transfer == VideoTransfer::Bulk ? kMaxPayloadTransfer : kIsoPayloadSizes[p.frameIndex - 1];
    p.clockFrequency = kClockFrequency;
    p.framingInfo = kFramingFidRequired | kFramingEofPresent;
    return p;
}

StillProbe StreamingRequests::NegotiateStill(const StillProbe& wanted, VideoTransfer transfer)
{
    StillProbe p;
    const bool valid = ValidFrame(wanted.formatIndex, wanted.frameIndex, std::size(kStillFrames));
    p.formatIndex = kMjpegFormatIndex;
    p.frameIndex = valid ? wanted.frameIndex : 1;
    p.compressionIndex = 0;
    p.maxVideoFrameSize = MaxFrameBytes(kStillFrames[p.frameIndex - 1]);
    p.maxPayloadTransferSize = transfer == VideoTransfer::Bulk
                                   ? kMaxPayloadTransfer
                                   : *std::max_element(std::begin(kIsoPayloadSizes), std::end(kIsoPayloadSizes));
    return p;
}

std::optional<FrameSize> StreamingRequests::CommittedFrame() const
{
    if (!committed)
        return std::nullopt;
    return kVideoFrames[commit.frameIndex - 1];
}

FrameSize StreamingRequests::StillFrame() const { return kStillFrames[stillCommit.frameIndex - 1]; }

ControlAnswer StreamingRequests::Handle(const SetupPacket& setup, std::uint8_t selector,
                                        std::span<const std::uint8_t> data, StreamEvent* event)
{
    *event = StreamEvent::None;
    if (setup.DeviceToHost() == (setup.request == SET_CUR))
        return ControlAnswer::Stall(RequestError::InvalidRequest);
    switch (selector) {
    case VS_PROBE_CONTROL: return Video(setup, false, data, event);
    case VS_COMMIT_CONTROL: return Video(setup, true, data, event);
    case VS_STILL_PROBE_CONTROL: return Still(setup, false, data);
    case VS_STILL_COMMIT_CONTROL: return Still(setup, true, data);
    case VS_STILL_IMAGE_TRIGGER_CONTROL: return Trigger(setup, data, event);
    default: return ControlAnswer::Stall(RequestError::InvalidControl);
    }
}

ControlAnswer StreamingRequests::Video(const SetupPacket& setup, bool isCommit, std::span<const std::uint8_t> data,
                                       StreamEvent* event)
{
    const auto sized = [&](std::uint16_t length) { return setup.length == length; };
    switch (setup.request) {
    case GET_INFO:
        return sized(1) ? ControlAnswer::Data({kInfoGetSet}) : ControlAnswer::Stall(RequestError::InvalidRequest);
    case GET_LEN:
        return sized(2) ? ControlAnswer::Data({std::uint8_t(kProbeLength), 0}) : ControlAnswer::Stall(RequestError::InvalidRequest);
    default:
        break;
    }
    if (!sized(kProbeLength))
        return ControlAnswer::Stall(RequestError::InvalidRequest);
    if (setup.request == SET_CUR) {
        const VideoProbe wanted = VideoProbe::Parse(data);
        if (!isCommit) {
            probe = Negotiate(wanted, transfer);
            return ControlAnswer::Data({}, Describe(wanted) + " -> " + Describe(probe));
        }
        // A commit must name what the device has; it then streams what it negotiated for it.
        if (!ValidFrame(wanted.formatIndex, wanted.frameIndex, std::size(kVideoFrames)) ||
            wanted.frameInterval != kFrameInterval)
            return ControlAnswer::Stall(RequestError::OutOfRange);
        commit = Negotiate(wanted, transfer);
        committed = true;
        *event = StreamEvent::Commit;
        return ControlAnswer::Data({}, Describe(commit));
    }
    VideoProbe answer;
    switch (setup.request) {
    case GET_CUR: answer = isCommit ? commit : probe; break;
    case GET_MIN:
    case GET_MAX:
    case GET_DEF:
        if (isCommit)
            return ControlAnswer::Stall(RequestError::InvalidRequest);
        answer = Negotiate({}, transfer);
        if (setup.request == GET_MAX)
            answer = Negotiate({0, kMjpegFormatIndex, std::uint8_t(std::size(kVideoFrames))}, transfer);
        break;
    default: return ControlAnswer::Stall(RequestError::InvalidRequest);
    }
    auto bytes = answer.Bytes();
    return ControlAnswer::Data(std::move(bytes), Describe(answer));
}

ControlAnswer StreamingRequests::Still(const SetupPacket& setup, bool isCommit, std::span<const std::uint8_t> data)
{
    const auto sized = [&](std::uint16_t length) { return setup.length == length; };
    switch (setup.request) {
    case GET_INFO:
        return sized(1) ? ControlAnswer::Data({kInfoGetSet}) : ControlAnswer::Stall(RequestError::InvalidRequest);
    case GET_LEN:
        return sized(2) ? ControlAnswer::Data({std::uint8_t(kStillProbeLength), 0})
                        : ControlAnswer::Stall(RequestError::InvalidRequest);
    default:
        break;
    }
    if (!sized(kStillProbeLength))
        return ControlAnswer::Stall(RequestError::InvalidRequest);
    if (setup.request == SET_CUR) {
        const StillProbe wanted = StillProbe::Parse(data);
        if (!isCommit) {
            stillProbe = NegotiateStill(wanted, transfer);
            return ControlAnswer::Data({}, Describe(wanted) + " -> " + Describe(stillProbe));
        }
        if (!ValidFrame(wanted.formatIndex, wanted.frameIndex, std::size(kStillFrames)))
            return ControlAnswer::Stall(RequestError::OutOfRange);
        stillCommit = NegotiateStill(wanted, transfer);
        return ControlAnswer::Data({}, Describe(stillCommit));
    }
    StillProbe answer;
    switch (setup.request) {
    case GET_CUR: answer = isCommit ? stillCommit : stillProbe; break;
    case GET_MIN:
    case GET_DEF:
        if (isCommit)
            return ControlAnswer::Stall(RequestError::InvalidRequest);
        answer = NegotiateStill({}, transfer);
        break;
    case GET_MAX:
        if (isCommit)
            return ControlAnswer::Stall(RequestError::InvalidRequest);
        answer = NegotiateStill({kMjpegFormatIndex, std::uint8_t(std::size(kStillFrames))}, transfer);
        break;
    default: return ControlAnswer::Stall(RequestError::InvalidRequest);
    }
    auto bytes = answer.Bytes();
    return ControlAnswer::Data(std::move(bytes), Describe(answer));
}

ControlAnswer StreamingRequests::Trigger(const SetupPacket& setup, std::span<const std::uint8_t> data,
                                         StreamEvent* event)
{
    if (setup.length != 1)
        return ControlAnswer::Stall(RequestError::InvalidRequest);
    switch (setup.request) {
    case GET_INFO: return ControlAnswer::Data({kInfoGetSet});
    case GET_CUR: return ControlAnswer::Data({trigger}, std::to_string(trigger));
    case SET_CUR:
        // Normal operation or a still on the video endpoint; method 2 has no dedicated still pipe.
        if (data.empty() || data[0] > kTriggerStill)
            return ControlAnswer::Stall(RequestError::OutOfRange);
        if (!committed && data[0] == kTriggerStill)
            return ControlAnswer::Stall(RequestError::WrongState);
        trigger = data[0];
        if (trigger == kTriggerStill)
            *event = StreamEvent::StillTrigger;
        return ControlAnswer::Data({}, std::to_string(trigger));
    default: return ControlAnswer::Stall(RequestError::InvalidRequest);
    }
}

} // namespace vistrel::uvcemu
