#include "capture/usb/UsbStreamer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "capture/contract/Diagnostics.h"
#include "capture/uvc/AlternateSetting.h"
#include "capture/uvc/ClassRequest.h"
#include "capture/usb/UnitRequests.h"
#include "capture/usb/UsbDevice.h"
#include "capture/linux/ErrnoResult.h"
#include "capture/uvc/StillJpeg.h"

namespace vistrel::usb {

namespace {

// As uvcvideo: five transfers in flight; isochronous ones of 32 packets each.
constexpr int kVideoTransfers = 5;
constexpr int kIsoPacketsPerTransfer = 32;
constexpr int kStillTransfers = 2;
constexpr std::size_t kSmallestPayload = 512;
constexpr std::size_t kLargestPayload = 4 * 1024 * 1024;
constexpr std::size_t kSmallestStatusPacket = 16;
constexpr std::uint16_t kPacketSizeMask = 0x07FF;
// While a still is awaited the exchange is looked at this often, to give up one that is overdue.
constexpr std::chrono::milliseconds kStillTick {100};

// A status packet from a streaming interface (bStatusType 2) with event 0 is its button.
constexpr std::uint8_t kStatusTypeMask = 0x0F;
constexpr std::uint8_t kStatusFromStreaming = 0x02;
constexpr std::uint8_t kEventButton = 0x00;
constexpr std::uint8_t kButtonPressed = 0x01;
constexpr std::size_t kStreamingStatusLength = 4;

std::size_t PayloadBytes(std::uint32_t committed)
{
    return std::clamp<std::size_t>(committed, kSmallestPayload, kLargestPayload);
}

} // namespace

UsbStreamer::UsbStreamer(std::shared_ptr<UsbDevice> device, const uvc::UvcFunction& function)
    : device(std::move(device)), function(function)
{
    if (!this->function.streaming.empty())
        streaming = &this->function.streaming.front();
}

UsbStreamer::~UsbStreamer()
{
    Stop();
}

int UsbStreamer::StreamingRequest(std::uint8_t request, std::uint8_t selector, std::span<std::uint8_t> data)
{
    const uvc::ClassRequest setup = uvc::MakeClassRequest(request, selector, 0, streaming->number,
                                                          static_cast<std::uint16_t>(data.size()));
    // A streaming interface's stall needs no reason: the stream fails as a whole.
    int transferred = 0;
    const int error = device->Control(setup, data, &transferred);
    const bool reads = request != uvc::SET_CUR;
    return !error && reads && transferred != setup.length ? EPROTO : error;
}

// Probe, read back what the device can do, commit that: the video format, then the pipes it needs.
int UsbStreamer::Negotiate()
{
    const auto wanted = uvc::VideoProbeFor(*streaming, uvc::UvcFormatKind::Mjpeg,
                                           static_cast<std::uint16_t>(plan.preview->width),
                                           static_cast<std::uint16_t>(plan.preview->height));
    if (!wanted)
        return EINVAL;
    const std::size_t length = uvc::VideoProbeLength(function.uvcVersion);
    std::vector<std::uint8_t> bytes = uvc::EncodeVideoProbe(*wanted, length);
    if (const int error = StreamingRequest(uvc::SET_CUR, uvc::VS_PROBE_CONTROL, bytes))
        return error;
    std::vector<std::uint8_t> answer(length);
    if (const int error = StreamingRequest(uvc::GET_CUR, uvc::VS_PROBE_CONTROL, answer))
        return error;
    const auto agreed = uvc::DecodeVideoProbe(answer);
    if (!agreed)
        return EPROTO;
    bytes = uvc::EncodeVideoProbe(*agreed, length);
    if (const int error = StreamingRequest(uvc::SET_CUR, uvc::VS_COMMIT_CONTROL, bytes))
        return error;
    committed = *agreed;
    FixCommitted(committed, *streaming);

    // Stills stay within the video limit until their own commit says more.
    video = std::make_unique<uvc::PayloadAssembler>(uvc::FrameLimits {committed.maxVideoFrameSize, 0},
                                               committed.EofMarksFrames(),
                                               [this](const uvc::AssembledFrame& frame) { OnFrame(frame, false); });
    const auto lost = [device = device](bool gone) {
        if (gone)
            device->MarkLost();
    };
    const auto payloads = [this](std::span<const std::uint8_t> payload) { OnVideoPayload(payload); };
    if (streaming->Bulk()) {
        alternate = 0;
        videoPipe = std::make_unique<TransferPipe>(
            device->Handle(),
            PipeShape {streaming->videoEndpoint, PipeKind::Bulk, PayloadBytes(committed.maxPayloadTransferSize), 0, 0,
                       kVideoTransfers},
            payloads, lost);
    } else {
        const auto setting = uvc::ChooseAlternateSetting(*streaming, committed.maxPayloadTransferSize);
        if (!setting)
            return ENOSPC; // no setting carries what the device will send
        alternate = setting->alternate;
        videoPipe = std::make_unique<TransferPipe>(
            device->Handle(),
            PipeShape {setting->endpoint, PipeKind::Isochronous, 0, kIsoPacketsPerTransfer, setting->bytesPerPacket,
                       kVideoTransfers},
            payloads, lost);
    }
    if (function.statusEndpoint && streaming->hardwareTrigger) {
        const std::size_t packet = std::max<std::size_t>(function.statusEndpoint->maxPacketSize & kPacketSizeMask,
                                                         kSmallestStatusPacket);
        statusPipe = std::make_unique<TransferPipe>(
            device->Handle(), PipeShape {function.statusEndpoint->address, PipeKind::Interrupt, packet, 0, 0, 1},
            [this](std::span<const std::uint8_t> status) { OnStatus(status); });
    }
    if (plan.still) {
        uvc::StillMethod method = uvc::ChooseStillMethod(*streaming);
        const auto stillWanted = uvc::StillProbeFor(*streaming, static_cast<std::uint16_t>(plan.still->width),
                                               static_cast<std::uint16_t>(plan.still->height), committed.formatIndex);
        if (!stillWanted)
            method = uvc::StillMethod::NextVideoFrame; // the device lists no such still: a video frame serves
        exchange.emplace(method, *streaming, stillWanted.value_or(uvc::StillProbe {}), kStillTimeout);
    }
    if (alternate != 0) {
        if (const int error = device->SetAlternateSetting(streaming->number, alternate))
            return error;
    }
    if (const int error = videoPipe->Start())
        return error;
    if (statusPipe)
        statusPipe->Start(); // without it the button does nothing; the picture runs on
    return 0;
}

HRESULT UsbStreamer::Start(Plan newPlan)
{
    Stop();
    if (!newPlan.preview)
        return S_OK; // nothing connected to the capture pin: nothing to stream
    if (!streaming)
        return E_FAIL;
    plan = std::move(newPlan);
    // Alternate setting 0 has no bandwidth: the stream is idle until committed.
    int error = device->SetAlternateSetting(streaming->number, 0);
    if (!error)
        error = Negotiate();
    if (error) {
        StopPipes();
        return lnx::StreamResultFromErrno(error);
    }
    {
        std::lock_guard lock(mutex);
        stopping = false;
        running = true;
    }
    thread = std::thread([this] { Run(); });
    return S_OK;
}

void UsbStreamer::RequestStill()
{
    {
        std::lock_guard lock(mutex);
        if (!running || !exchange)
            return;
        ++stillsWanted;
    }
    wake.notify_all();
}

void UsbStreamer::OnVideoPayload(std::span<const std::uint8_t> payload)
{
    // The still's commit raises the limit its frames are held to; the assembler is the event thread's.
    if (limitsChanged.load()) {
        std::lock_guard lock(mutex);
        if (pendingLimits)
            video->SetLimits(*std::exchange(pendingLimits, std::nullopt));
        limitsChanged = false;
    }
    video->Push(payload);
}

void UsbStreamer::OnFrame(const uvc::AssembledFrame& frame, bool fromStillEndpoint)
{
    bool notify = false;
    {
        std::lock_guard lock(mutex);
        const bool awaited = exchange && exchange->OfferFrame(frame.still, fromStillEndpoint);
        // A still the device sends unasked (or after its time-out) is a still all the same.
        if (awaited || frame.still || fromStillEndpoint) {
            stills.emplace_back(frame.bytes.begin(), frame.bytes.end());
            notify = true;
        } else {
            notify = previews.Post(std::vector<std::uint8_t>(frame.bytes.begin(), frame.bytes.end()));
        }
    }
    if (notify)
        wake.notify_all();
}

void UsbStreamer::OnStatus(std::span<const std::uint8_t> packet)
{
    if (packet.size() >= kStreamingStatusLength && (packet[0] & kStatusTypeMask) == kStatusFromStreaming &&
        packet[2] == kEventButton && packet[3] == kButtonPressed && plan.onButton)
        plan.onButton();
}

// With the lock held: the still's commit sets the limit its frames are held to.
void UsbStreamer::StillCommitted(const uvc::StillProbe& still)
{
    pendingLimits = uvc::FrameLimits {committed.maxVideoFrameSize, still.maxVideoFrameSize};
    limitsChanged = true;
    if (exchange->Method() != uvc::StillMethod::StillEndpoint || stillPipe)
        return;
    const uvc::UvcFormat* format = streaming->Format(still.formatIndex);
    if (!format || !format->stills || format->stills->endpoint == 0)
        return;
    stillEndpointFrames = std::make_unique<uvc::PayloadAssembler>(
        uvc::FrameLimits {still.maxVideoFrameSize, still.maxVideoFrameSize}, false,
        [this](const uvc::AssembledFrame& frame) { OnFrame(frame, true); });
    stillPipe = std::make_unique<TransferPipe>(
        device->Handle(),
        PipeShape {format->stills->endpoint, PipeKind::Bulk, PayloadBytes(still.maxPayloadTransferSize), 0, 0,
                   kStillTransfers},
        [this](std::span<const std::uint8_t> payload) { stillEndpointFrames->Push(payload); });
    if (const int error = stillPipe->Start())
        Diagnose(DiagnosticTopic::Still, std::string("the still endpoint cannot be read: ") + std::strerror(error));
}

void UsbStreamer::Drive(uvc::StillExchange::Step step, std::unique_lock<std::mutex>& lock)
{
    while (step.action == uvc::StillExchange::Action::SendControl && !stopping) {
        const bool hadCommit = exchange->Committed().has_value();
        std::vector<std::uint8_t> data = step.data;
        data.resize(step.request.length);
        lock.unlock();
        const uvc::UnitResult result = SendUnitRequest(*device, step.request, data, function.controlInterface);
        lock.lock();
        if (!result.Ok())
            Diagnose(DiagnosticTopic::Still, "a still request failed: " + ResultText(uvc::PropertyResult(result)));
        step = exchange->ControlDone(result.Ok(), std::span(data.data(), static_cast<std::size_t>(result.transferred)),
                                     uvc::StillExchange::Clock::now());
        if (!hadCommit && exchange->Committed())
            StillCommitted(*exchange->Committed());
    }
}

void UsbStreamer::Run()
{
    const auto start = std::chrono::steady_clock::now();
    const auto seconds = [start] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    std::unique_lock lock(mutex);
    while (!stopping) {
        const auto ready = [this] { return stopping || stillsWanted > 0 || !stills.empty() || previews.HasValue(); };
        if (exchange && exchange->Outstanding() > 0)
            wake.wait_for(lock, kStillTick, ready);
        else
            wake.wait(lock, ready);
        if (stopping)
            break;
        if (exchange && exchange->Outstanding() > 0) {
            exchange->Tick(uvc::StillExchange::Clock::now());
            if (exchange->Outstanding() == 0 && exchange->Why() == uvc::StillExchange::Failure::TimedOut)
                Diagnose(DiagnosticTopic::Still, "the device sent no still in time");
        }
        if (stillsWanted > 0) {
            --stillsWanted;
            Drive(exchange->Request(uvc::StillExchange::Clock::now()), lock);
        } else if (!stills.empty()) {
            std::vector<std::uint8_t> still = std::move(stills.front());
            stills.pop_front();
            lock.unlock();
            const std::vector<std::uint8_t> jpeg = uvc::WithHuffmanTables(still);
            if (plan.onStill)
                plan.onStill(jpeg, seconds());
            lock.lock();
        } else if (auto preview = previews.Take()) {
            lock.unlock();
            if (plan.onPreview)
                plan.onPreview(*preview, seconds());
            lock.lock();
        }
    }
}

void UsbStreamer::StopPipes()
{
    for (auto* pipe : {statusPipe.get(), stillPipe.get(), videoPipe.get()}) {
        if (pipe)
            pipe->Stop();
    }
    if (streaming && videoPipe && !device->Lost()) {
        // Tell the device to stop as uvcvideo does: a bulk stream by clearing the endpoint's halt, an
        // isochronous one by taking its bandwidth away.
        if (alternate == 0)
            device->ClearHalt(streaming->videoEndpoint);
        else
            device->SetAlternateSetting(streaming->number, 0);
    }
    statusPipe.reset();
    stillPipe.reset();
    videoPipe.reset();
    stillEndpointFrames.reset();
    video.reset();
    alternate = 0;
}

void UsbStreamer::Stop()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
        running = false;
    }
    wake.notify_all();
    if (thread.joinable())
        thread.join(); // first: a still exchange may be starting the still pipe
    StopPipes();
    std::lock_guard lock(mutex);
    stills.clear();
    previews.Clear();
    stillsWanted = 0;
    exchange.reset();
    pendingLimits.reset();
    limitsChanged = false;
}

} // namespace vistrel::usb
