// What the scanner streams to the usb backend: payloads, each with its header, and the probe and still
// probe answers. The first byte holds the frame limits and the EOF rule; then each payload is one length
// byte and that many bytes. No frame may exceed its limit, and a probe answer must survive its own
// encoding.
#include <cstdlib>

#include "capture/uvc/PayloadAssembler.h"
#include "capture/uvc/StreamingControl.h"

namespace {

void CheckProbeRoundTrip(std::span<const std::uint8_t> bytes)
{
    using namespace vistrel::uvc;
    if (const auto probe = DecodeVideoProbe(bytes)) {
        if (DecodeVideoProbe(EncodeVideoProbe(*probe, kVideoProbeLength15)) != probe)
            std::abort();
    }
    if (const auto still = DecodeStillProbe(bytes)) {
        if (DecodeStillProbe(EncodeStillProbe(*still)) != still)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vistrel::uvc;
    if (size < 1)
        return 0;
    const std::span input(data, size);
    CheckProbeRoundTrip(input.subspan(1));

    // Small limits, so that fuzzing reaches them: 0..63 bytes for video, stills four times that.
    const std::uint32_t video = input[0] & 0x3F;
    const FrameLimits limits {video, video * 4};
    const bool eofMarksFrames = input[0] & 0x40;
    std::uint64_t frames = 0;
    PayloadAssembler assembler(limits, eofMarksFrames, [&](const AssembledFrame& frame) {
        if (frame.bytes.empty() || frame.bytes.size() > (frame.still ? limits.stillBytes : limits.videoBytes))
            std::abort();
        ++frames;
    });
    std::size_t at = 1;
    while (at < size) {
        const std::size_t length = std::min<std::size_t>(input[at], size - at - 1);
        assembler.Push(input.subspan(at + 1, length));
        at += 1 + length;
    }
    if (assembler.FramesDelivered() != frames)
        std::abort();
    return 0;
}
