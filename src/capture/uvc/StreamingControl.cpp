#include "capture/uvc/StreamingControl.h"

#include <algorithm>

#include "capture/uvc/LittleEndian.h"

namespace vistrel::uvc {

namespace {


constexpr std::uint16_t kUvc11 = 0x0110;
constexpr std::uint16_t kUvc15 = 0x0150;
constexpr std::uint32_t kBogusUpperHalf = 0xFFFF0000u;

// The fields in wire order; encoding and decoding walk the same list.
template <class Probe, class Visit>
void ForEachField(Probe& p, Visit visit)
{
    visit(p.hint);
    visit(p.formatIndex);
    visit(p.frameIndex);
    visit(p.frameInterval);
    visit(p.keyFrameRate);
    visit(p.pFrameRate);
    visit(p.compQuality);
    visit(p.compWindowSize);
    visit(p.delay);
    visit(p.maxVideoFrameSize);
    visit(p.maxPayloadTransferSize);
    visit(p.clockFrequency);
    visit(p.framingInfo);
    visit(p.preferredVersion);
    visit(p.minVersion);
    visit(p.maxVersion);
    visit(p.usage);
    visit(p.bitDepthLuma);
    visit(p.settings);
    visit(p.maxNumberOfRefFramesPlus1);
    visit(p.rateControlModes);
    visit(p.layoutPerStream);
}

template <class Probe, class Visit>
void ForEachStillField(Probe& p, Visit visit)
{
    visit(p.formatIndex);
    visit(p.frameIndex);
    visit(p.compressionIndex);
    visit(p.maxVideoFrameSize);
    visit(p.maxPayloadTransferSize);
}

template <class Probe, class Fields>
std::vector<std::uint8_t> Encode(const Probe& probe, std::size_t length, Fields fields)
{
    std::vector<std::uint8_t> bytes;
    fields(probe, [&](auto field) { AppendField(bytes, field); });
    bytes.resize(length);
    return bytes;
}

template <class Probe, class Fields>
Probe Decode(std::span<const std::uint8_t> bytes, Fields fields)
{
    Probe probe;
    std::size_t at = 0;
    fields(probe, [&](auto& field) {
        ReadField(bytes, at, field);
        at += sizeof field;
    });
    return probe;
}

std::uint32_t ShortestInterval(const UvcFrame& frame)
{
    if (frame.intervals.empty())
        return frame.defaultInterval;
    if (frame.continuousIntervals)
        return frame.intervals.front(); // minimum, maximum, step
    return std::ranges::min(frame.intervals);
}

} // namespace

std::size_t VideoProbeLength(std::uint16_t uvcVersion)
{
    if (uvcVersion < kUvc11)
        return kVideoProbeLength10;
    return uvcVersion < kUvc15 ? kVideoProbeLength11 : kVideoProbeLength15;
}

std::vector<std::uint8_t> EncodeVideoProbe(const VideoProbe& probe, std::size_t length)
{
    return Encode(probe, length, [](const VideoProbe& p, auto visit) { ForEachField(p, visit); });
}

std::optional<VideoProbe> DecodeVideoProbe(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kVideoProbeLength10)
        return std::nullopt;
    return Decode<VideoProbe>(bytes, [](VideoProbe& p, auto visit) { ForEachField(p, visit); });
}

std::vector<std::uint8_t> EncodeStillProbe(const StillProbe& probe)
{
    return Encode(probe, kStillProbeLength, [](const StillProbe& p, auto visit) { ForEachStillField(p, visit); });
}

std::optional<StillProbe> DecodeStillProbe(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < kStillProbeLength)
        return std::nullopt;
    return Decode<StillProbe>(bytes, [](StillProbe& p, auto visit) { ForEachStillField(p, visit); });
}

std::optional<VideoProbe> VideoProbeFor(const UvcStreamingInterface& interface, UvcFormatKind kind,
                                        std::uint16_t width, std::uint16_t height)
{
    for (const UvcFormat& format : interface.formats) {
        if (format.kind != kind)
            continue;
        for (const UvcFrame& frame : format.frames) {
            if (frame.width != width || frame.height != height)
                continue;
            VideoProbe probe;
            probe.hint = kHintFrameInterval;
            probe.formatIndex = format.index;
            probe.frameIndex = frame.index;
            probe.frameInterval = ShortestInterval(frame);
            return probe;
        }
    }
    return std::nullopt;
}

std::optional<StillProbe> StillProbeFor(const UvcStreamingInterface& interface, std::uint16_t width,
                                        std::uint16_t height, std::uint8_t preferredFormat)
{
    std::vector<const UvcFormat*> order;
    for (const UvcFormat& format : interface.formats)
        order.push_back(&format);
    std::stable_partition(order.begin(), order.end(), [&](const UvcFormat* f) { return f->index == preferredFormat; });
    for (const UvcFormat* format : order) {
        if (!format->stills)
            continue;
        const auto& sizes = format->stills->sizes;
        const auto size = std::ranges::find_if(sizes, [&](const UvcStillSize& s) {
            return s.width == width && s.height == height;
        });
        if (size == sizes.end())
            continue;
        StillProbe probe;
        probe.formatIndex = format->index;
        probe.frameIndex = static_cast<std::uint8_t>(size - sizes.begin() + 1);
        probe.compressionIndex = format->stills->compressions.empty() ? 0 : 1;
        return probe;
    }
    return std::nullopt;
}

void FixCommitted(VideoProbe& committed, const UvcStreamingInterface& interface)
{
    if ((committed.maxPayloadTransferSize & kBogusUpperHalf) == kBogusUpperHalf)
        committed.maxPayloadTransferSize &= ~kBogusUpperHalf;
    const UvcFormat* format = interface.Format(committed.formatIndex);
    if (!format)
        return;
    const auto frame = std::ranges::find(format->frames, committed.frameIndex, &UvcFrame::index);
    if (frame == format->frames.end() || frame->maxFrameBufferSize == 0)
        return;
    if (format->kind == UvcFormatKind::Uncompressed || committed.maxVideoFrameSize == 0)
        committed.maxVideoFrameSize = frame->maxFrameBufferSize;
}

} // namespace vistrel::uvc
