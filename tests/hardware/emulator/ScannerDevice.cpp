#include "ScannerDevice.h"

#include <cstdio>
#include <fstream>

#include "ScannerDescriptors.h"

namespace vistrel::uvcemu {
namespace {

enum StandardRequest : std::uint8_t {
    GET_STATUS = 0x00,
    CLEAR_FEATURE = 0x01,
    SET_FEATURE = 0x03,
    GET_DESCRIPTOR = 0x06,
    GET_CONFIGURATION = 0x08,
    SET_CONFIGURATION = 0x09,
    GET_INTERFACE = 0x0A,
    SET_INTERFACE = 0x0B,
};

enum DescriptorType : std::uint8_t { kDevice = 1, kConfiguration = 2, kString = 3, kQualifier = 6 };
constexpr std::uint16_t kEndpointHalt = 0, kDeviceRemoteWakeup = 1;

// Status packets of the streaming interface: a button event.
constexpr std::uint8_t kStatusStreaming = 0x02, kEventButton = 0x00;

const char* StandardName(std::uint8_t request)
{
    switch (request) {
    case GET_STATUS: return "GET_STATUS";
    case CLEAR_FEATURE: return "CLEAR_FEATURE";
    case SET_FEATURE: return "SET_FEATURE";
    case GET_DESCRIPTOR: return "GET_DESCRIPTOR";
    case GET_CONFIGURATION: return "GET_CONFIGURATION";
    case SET_CONFIGURATION: return "SET_CONFIGURATION";
    case GET_INTERFACE: return "GET_INTERFACE";
    case SET_INTERFACE: return "SET_INTERFACE";
    default: return "UNKNOWN";
    }
}

TransferResult Reply(std::vector<std::uint8_t> data, std::uint16_t length)
{
    if (data.size() > length)
        data.resize(length);
    return {kStatusOk, std::move(data)};
}

TransferResult Stall() { return {kStatusStall, {}}; }

sim::DeviceOptions ScannerModel(const ScannerOptions& options)
{
    sim::DeviceOptions o;
    o.kind = sim::DeviceOptions::Kind::Scanner;
    o.devicePath = "usb-emulated-scanner";
    o.imageFile = options.picture;
    return o;
}

MediaType Mjpeg(FrameSize size)
{
    return MakeVideoInfoType(MEDIASUBTYPE_MJPG, size.width, size.height, kFrameInterval, 24);
}

std::string SizeText(FrameSize s) { return std::to_string(s.width) + "x" + std::to_string(s.height); }

} // namespace

ScannerDevice::ScannerDevice(const ScannerOptions& o, RequestLog& log)
    : options(o),
      log(log),
      scanner(std::make_shared<sim::SimulatedDevice>(ScannerModel(o))),
      controls(*scanner),
      streamingRequests(o.transfer),
      liveRenderer(*scanner, sim::kLiveJpegQuality),
      stillRenderer(*scanner, sim::kStillQuality),
      video(kBulkPacketSize, kMaxPayloadTransfer)
{
    controls.SetNotReadyAnswers(options.notReadyAnswers);
}

void ScannerDevice::PowerOn()
{
    // The simulated device resets its properties and unit when it is plugged back in.
    scanner->Unplug();
    scanner->Plug();
    controls.Reset();
    controls.SetNotReadyAnswers(options.notReadyAnswers);
    streamingRequests.Reset();
    streaming = false;
    video.Clear();
    configuration = 0;
    streamingAlternate = 0;
    statusPackets.clear();
}

TransferResult ScannerDevice::Control(const SetupPacket& setup, std::span<const std::uint8_t> out)
{
    if (setup.Type() == kTypeStandard) {
        auto result = Standard(setup, out);
        LogStandard(setup, result);
        return result;
    }
    if (setup.Type() == kTypeClass && setup.Recipient() == kRecipientInterface)
        return Class(setup, out);
    char line[96];
    std::snprintf(line, sizeof line, "REQUEST type=0x%02x req=0x%02x value=0x%04x index=0x%04x len=%u stall",
                  setup.requestType, setup.request, setup.value, setup.index, setup.length);
    log.Line(line);
    return Stall();
}

TransferResult ScannerDevice::Standard(const SetupPacket& setup, std::span<const std::uint8_t>)
{
    const std::uint8_t high = setup.value >> 8, low = setup.value & 0xFF;
    const std::uint8_t interfaceNumber = setup.index & 0xFF;
    const bool knownInterface = interfaceNumber == kControlInterface || interfaceNumber == kStreamingInterface;
    const std::uint8_t endpoint = setup.index & 0xFF;
    const bool knownEndpoint = endpoint == 0 || endpoint == kStatusEndpoint || endpoint == kVideoEndpoint;
    switch (setup.request) {
    case GET_STATUS:
        if ((setup.Recipient() == kRecipientInterface && !knownInterface) ||
            (setup.Recipient() == kRecipientEndpoint && !knownEndpoint))
            return Stall();
        return Reply({0, 0}, setup.length);
    case CLEAR_FEATURE:
        if (setup.Recipient() == kRecipientEndpoint && setup.value == kEndpointHalt && knownEndpoint) {
            // How a host tells a bulk video device that streaming is over; an isochronous stream ends
            // with alternate setting 0 instead.
            if (endpoint == kVideoEndpoint && options.transfer == VideoTransfer::Bulk)
                StopStreaming("clear-halt");
            return {};
        }
        if (setup.Recipient() == kRecipientDevice && setup.value == kDeviceRemoteWakeup)
            return {};
        return Stall();
    case SET_FEATURE:
        if (setup.Recipient() == kRecipientDevice && setup.value == kDeviceRemoteWakeup)
            return {};
        return Stall();
    case GET_DESCRIPTOR:
        if (!setup.DeviceToHost() || setup.Recipient() != kRecipientDevice)
            return Stall();
        switch (high) {
        case kDevice: return Reply(DeviceDescriptor(), setup.length);
        case kConfiguration:
            return low == 0 ? Reply(ConfigurationDescriptor({}, options.transfer), setup.length) : Stall();
        case kQualifier: return Reply(DeviceQualifier(), setup.length);
        case kString: {
            auto s = StringDescriptor(low);
            return s ? Reply(std::move(*s), setup.length) : Stall();
        }
        default: return Stall();
        }
    case GET_CONFIGURATION:
        return Reply({configuration}, setup.length);
    case SET_CONFIGURATION:
        if (setup.value > 1)
            return Stall();
        if (setup.value == 0)
            StopStreaming("unconfigured");
        configuration = std::uint8_t(setup.value);
        return {};
    case GET_INTERFACE:
        if (!knownInterface)
            return Stall();
        return Reply({interfaceNumber == kStreamingInterface ? streamingAlternate : std::uint8_t(0)}, setup.length);
    case SET_INTERFACE:
        return knownInterface ? SelectAlternate(interfaceNumber, setup.value) : Stall();
    default:
        return Stall();
    }
}

TransferResult ScannerDevice::Class(const SetupPacket& setup, std::span<const std::uint8_t> out)
{
    const std::uint8_t interfaceNumber = setup.index & 0xFF;
    const std::uint8_t entity = setup.index >> 8;
    const std::uint8_t selector = setup.value >> 8;
    ControlAnswer answer;
    StreamEvent event = StreamEvent::None;
    if ((setup.value & 0xFF) != 0)
        answer = ControlAnswer::Stall(RequestError::InvalidRequest);
    else if (interfaceNumber == kControlInterface)
        answer = controls.Handle(setup, entity, selector, out);
    else if (interfaceNumber == kStreamingInterface && entity == 0)
        answer = streamingRequests.Handle(setup, selector, out, &event);
    else
        answer = ControlAnswer::Stall(RequestError::InvalidUnit);

    std::string line = std::string(UvcRequestName(setup.request)) + " if=" + std::to_string(interfaceNumber) +
                       " unit=" + std::to_string(entity) + " cs=" + std::to_string(selector) +
                       " len=" + std::to_string(setup.length);
    if (!answer.decoded.empty())
        line += " value=" + answer.decoded;
    line += answer.stalled ? " stall error=" + std::to_string(int(answer.error)) : " ok";
    log.Line(line);
    if (answer.stalled)
        return Stall();

    // A bulk stream starts with the commit, an isochronous one once a setting with bandwidth is chosen.
    if (event == StreamEvent::Commit && (options.transfer == VideoTransfer::Bulk || streamingAlternate != 0)) {
        StartStreaming();
    } else if (event == StreamEvent::StillTrigger) {
        log.Line("STILL trigger " + SizeText(streamingRequests.StillFrame()));
    }
    return Reply(std::move(answer.data), setup.length);
}

TransferResult ScannerDevice::SelectAlternate(std::uint8_t interfaceNumber, std::uint16_t alternate)
{
    // Only the isochronous streaming interface has settings beyond 0.
    const bool isochronous = interfaceNumber == kStreamingInterface && options.transfer == VideoTransfer::Isochronous;
    if (alternate != 0 && (!isochronous || IsoBytesPerInterval(std::uint8_t(alternate)) == 0))
        return Stall();
    if (interfaceNumber != kStreamingInterface)
        return {};
    streamingAlternate = std::uint8_t(alternate);
    if (alternate == 0)
        StopStreaming("set-interface");
    else if (streamingRequests.CommittedFrame())
        StartStreaming();
    return {};
}

bool ScannerDevice::Isochronous(std::uint32_t endpointNumber) const
{
    return options.transfer == VideoTransfer::Isochronous && endpointNumber == (kVideoEndpoint & 0x0F);
}

void ScannerDevice::StartStreaming()
{
    if (options.transfer == VideoTransfer::Bulk) {
        video.Resize(kBulkPacketSize, kMaxPayloadTransfer);
    } else {
        // One payload per microframe, as large as the chosen setting carries.
        const std::size_t perInterval = IsoBytesPerInterval(streamingAlternate);
        video.Resize(perInterval, perInterval);
    }
    streaming = true;
    log.Line("STREAM start " + SizeText(*streamingRequests.CommittedFrame()));
}

void ScannerDevice::StopStreaming(const char* why)
{
    if (!streaming)
        return;
    streaming = false;
    video.Clear();
    log.Line(std::string("STREAM stop ") + why);
}

void ScannerDevice::FrameTick()
{
    if (!streaming || !video.Idle())
        return; // the host has not taken the previous frame yet: this one is skipped
    const auto size = *streamingRequests.CommittedFrame();
    if (streamingRequests.StillRequested()) {
        const auto still = streamingRequests.StillFrame();
        if (const auto* jpeg = stillRenderer.Render(Mjpeg(still))) {
            video.QueueFrame(*jpeg, true);
            log.Line("STILL sent " + SizeText(still) + " bytes=" + std::to_string(jpeg->size()));
            ++stills;
            if (!options.stillFolder.empty()) {
                std::ofstream(options.stillFolder + "/still-" + std::to_string(stills) + ".jpg", std::ios::binary)
                    .write(reinterpret_cast<const char*>(jpeg->data()), std::streamsize(jpeg->size()));
            }
        }
        streamingRequests.StillSent();
        return;
    }
    if (const auto* jpeg = liveRenderer.Render(Mjpeg(size))) {
        video.QueueFrame(*jpeg, false);
        log.Line("FRAME " + std::to_string(++frames) + " " + SizeText(size) + " bytes=" + std::to_string(jpeg->size()));
    }
}

void ScannerDevice::PressButton()
{
    statusPackets.push_back({kStatusStreaming, kStreamingInterface, kEventButton, 1});
    statusPackets.push_back({kStatusStreaming, kStreamingInterface, kEventButton, 0});
    log.Line("BUTTON press");
}

std::optional<std::vector<std::uint8_t>> ScannerDevice::NextStatusPacket()
{
    if (statusPackets.empty())
        return std::nullopt;
    auto p = std::move(statusPackets.front());
    statusPackets.pop_front();
    return p;
}

void ScannerDevice::LogStandard(const SetupPacket& setup, const TransferResult& result)
{
    char line[128];
    std::snprintf(line, sizeof line, "%s type=0x%02x value=0x%04x index=0x%04x len=%u %s", StandardName(setup.request),
                  setup.requestType, setup.value, setup.index, setup.length,
                  result.status == kStatusOk ? "ok" : "stall");
    log.Line(line);
}

} // namespace vistrel::uvcemu
