#pragma once
// Streaming from a claimed device: probe and commit, the video endpoint's transfers feeding the payload
// assembler, stills through the still exchange (method 2 and 3 with the still controls and the trigger,
// method 1 as the next video frame), and the status endpoint, whose button press is handed up (the
// window treats it as its Scan command, with all its checks). Frames are handed on, and control requests sent, by a thread of the streamer's own, so the
// event thread never waits for a decoder or a request.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "capture/contract/Result.h"
#include "capture/runtime/LatestFrameMailbox.h"
#include "capture/uvc/PayloadAssembler.h"
#include "capture/uvc/StillExchange.h"
#include "capture/usb/TransferPipe.h"
#include "capture/linux/FormatList.h"
#include "capture/uvc/UvcDescriptors.h"

namespace vistrel::usb {

class UsbDevice;

class UsbStreamer
{
public:
    using FrameSink = std::function<void(std::span<const std::uint8_t> bytes, double time)>;

    struct Plan
    {
        std::optional<lnx::FrameFormat> preview; // none: no video stream (and so no still either)
        std::optional<lnx::FrameFormat> still;   // none: still requests are dropped
        FrameSink onPreview;               // a video frame as the device sent it
        FrameSink onStill;                 // a still as a complete JPEG file
        std::function<void()> onButton;    // the device's button was pressed (on the event thread)
    };

    // How long a triggered still may take before the exchange gives it up.
    static constexpr std::chrono::seconds kStillTimeout {5};

    UsbStreamer(std::shared_ptr<UsbDevice> device, const uvc::UvcFunction& function);
    ~UsbStreamer();
    UsbStreamer(const UsbStreamer&) = delete;
    UsbStreamer& operator=(const UsbStreamer&) = delete;

    // Negotiates and starts the stream on the calling thread, so that a refusal is reported here.
    HRESULT Start(Plan plan);
    // One still; the requests go out on the streamer's thread. Dropped when not streaming.
    void RequestStill();
    // Returns once no transfer is in flight and the thread has ended. A still not yet handed on is dropped.
    void Stop();

private:
    int Negotiate();
    int StreamingRequest(std::uint8_t request, std::uint8_t selector, std::span<std::uint8_t> data);
    // On the event thread.
    void OnVideoPayload(std::span<const std::uint8_t> payload);
    void OnFrame(const uvc::AssembledFrame& frame, bool fromStillEndpoint);
    void OnStatus(std::span<const std::uint8_t> packet);
    // On the streamer's thread, with the lock held (released around requests).
    void Drive(uvc::StillExchange::Step step, std::unique_lock<std::mutex>& lock);
    void StillCommitted(const uvc::StillProbe& committed);
    void Run();
    void StopPipes();

    const std::shared_ptr<UsbDevice> device;
    const uvc::UvcFunction function;
    const uvc::UvcStreamingInterface* streaming = nullptr; // the first streaming interface, if any

    Plan plan;
    uvc::VideoProbe committed;        // the video format the device agreed to
    std::uint8_t alternate = 0; // the alternate setting streaming runs on
    std::unique_ptr<uvc::PayloadAssembler> video;          // the event thread's
    std::unique_ptr<uvc::PayloadAssembler> stillEndpointFrames; // method 3, the event thread's
    std::unique_ptr<TransferPipe> videoPipe;
    std::unique_ptr<TransferPipe> stillPipe;
    std::unique_ptr<TransferPipe> statusPipe;

    // Between the event thread and the streamer's thread.
    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool running = false;        // stills may be asked for
    int stillsWanted = 0;        // asked for, not yet given to the exchange
    std::optional<uvc::StillExchange> exchange;
    std::optional<uvc::FrameLimits> pendingLimits; // for the video assembler, from the still's commit
    std::atomic<bool> limitsChanged {false};
    std::deque<std::vector<std::uint8_t>> stills;
    LatestFrameMailbox<std::vector<std::uint8_t>> previews;
    std::thread thread;
};

} // namespace vistrel::usb
