#pragma once
// The scanner as a USB device: standard requests, the video class's requests, the video stream on the
// bulk or isochronous endpoint and status packets (the button) on the interrupt endpoint. The scanner's state (its
// properties, extension unit and picture) is the simulated scanner's, so both backends show one device.
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ControlRequests.h"
#include "PayloadStream.h"
#include "RequestLog.h"
#include "StreamingRequests.h"
#include "capture/sim/FrameRenderer.h"
#include "capture/sim/SimulatedDevice.h"

namespace vistrel::uvcemu {

constexpr std::int32_t kStatusOk = 0;
constexpr std::int32_t kStatusStall = -32; // -EPIPE, as a host controller reports a stalled endpoint

struct TransferResult {
    std::int32_t status = kStatusOk;
    std::vector<std::uint8_t> data; // IN data
};

struct ScannerOptions {
    int notReadyAnswers = 0;  // requests to the extension unit answered "not ready" after each plug-in
    std::string picture;      // picture file; empty: the built-in film frame
    VideoTransfer transfer = VideoTransfer::Bulk;
    std::string stillFolder;  // each still sent is also written there as still-<n>.jpg; empty: nowhere
};

class ScannerDevice {
public:
    ScannerDevice(const ScannerOptions& options, RequestLog& log);

    // A control transfer on endpoint 0; out is the OUT data stage.
    TransferResult Control(const SetupPacket& setup, std::span<const std::uint8_t> out);

    // Once per frame period: queues the next frame (or the triggered still) when the stream is free.
    void FrameTick();
    PayloadStream& Video() { return video; }
    bool Streaming() const { return streaming; }
    // Whether transfers to this endpoint number carry isochronous packet descriptors.
    bool Isochronous(std::uint32_t endpointNumber) const;

    // The scanner's button: a press and a release on the status endpoint.
    void PressButton();
    std::optional<std::vector<std::uint8_t>> NextStatusPacket();

    // Power-on state, as after being plugged in again.
    void PowerOn();

private:
    TransferResult Standard(const SetupPacket& setup, std::span<const std::uint8_t> out);
    TransferResult Class(const SetupPacket& setup, std::span<const std::uint8_t> out);
    void StartStreaming();
    void StopStreaming(const char* why);
    TransferResult SelectAlternate(std::uint8_t interfaceNumber, std::uint16_t alternate);
    void LogStandard(const SetupPacket& setup, const TransferResult& result);

    ScannerOptions options;
    RequestLog& log;
    std::shared_ptr<sim::SimulatedDevice> scanner;
    ControlRequests controls;
    StreamingRequests streamingRequests;
    sim::FrameRenderer liveRenderer, stillRenderer;
    PayloadStream video;
    bool streaming = false;
    std::uint8_t configuration = 0;
    std::uint8_t streamingAlternate = 0;
    std::deque<std::vector<std::uint8_t>> statusPackets;
    std::uint64_t frames = 0;
    std::uint64_t stills = 0;
};

} // namespace vistrel::uvcemu
