#include "capture/usb/UsbSourceFilter.h"

#include <linux/videodev2.h>

#include <algorithm>

#include "capture/usb/UsbCameraProperties.h"
#include "capture/usb/UsbDevice.h"
#include "capture/usb/UsbUnitIo.h"
#include "capture/linux/ErrnoResult.h"

namespace vistrel::usb {

namespace {

constexpr const char* kCapturePinName = "Capture";
constexpr const char* kStillPinName = "Still";
constexpr std::uint32_t kReferenceTimePerSecond = 10'000'000;

const uvc::UvcStreamingInterface* FirstStreaming(const uvc::UvcFunction& function)
{
    return function.streaming.empty() ? nullptr : &function.streaming.front();
}

lnx::FrameFormat Mjpeg(std::int32_t width, std::int32_t height, std::uint32_t interval = 0)
{
    return {V4L2_PIX_FMT_MJPEG, width, height, interval, interval ? kReferenceTimePerSecond : 0};
}

// Motion-JPEG video frames at their fastest rate, in descriptor order.
std::vector<lnx::FrameFormat> VideoFrames(const uvc::UvcStreamingInterface& streaming)
{
    std::vector<lnx::FrameFormat> frames;
    for (const uvc::UvcFormat& format : streaming.formats) {
        if (format.kind != uvc::UvcFormatKind::Mjpeg)
            continue;
        for (const uvc::UvcFrame& frame : format.frames) {
            std::uint32_t fastest = frame.defaultInterval;
            if (!frame.intervals.empty())
                fastest = frame.continuousIntervals ? frame.intervals.front()
                                                    : *std::min_element(frame.intervals.begin(), frame.intervals.end());
            frames.push_back(Mjpeg(frame.width, frame.height, fastest));
        }
    }
    return frames;
}

// The still-image frames the device declares for method 2 and 3; the video frames for method 1.
std::vector<lnx::FrameFormat> StillFrames(const uvc::UvcStreamingInterface& streaming)
{
    std::vector<lnx::FrameFormat> frames;
    if (streaming.stillCaptureMethod >= 2) {
        for (const uvc::UvcFormat& format : streaming.formats) {
            if (format.kind == uvc::UvcFormatKind::Mjpeg && format.stills) {
                for (const uvc::UvcStillSize& size : format.stills->sizes)
                    frames.push_back(Mjpeg(size.width, size.height));
            }
        }
    }
    return frames.empty() ? VideoFrames(streaming) : frames;
}

} // namespace

std::shared_ptr<UsbSourceFilter> UsbSourceFilter::Create(std::string friendlyName, uvc::UvcFunction function,
                                                         std::shared_ptr<UsbDevice> device)
{
    std::shared_ptr<UsbSourceFilter> filter(
        new UsbSourceFilter(std::move(friendlyName), std::move(function), std::move(device), 0));
    // The pins name their filter, which needs the filter's own shared pointer.
    const std::weak_ptr<IBaseFilter> self = filter;
    const uvc::UvcStreamingInterface* streaming = FirstStreaming(filter->function);
    const auto video = streaming ? VideoFrames(*streaming) : std::vector<lnx::FrameFormat> {};
    auto capture = std::make_shared<lnx::SourceOutputPin>(self, kCapturePinName, PIN_CATEGORY_CAPTURE,
                                                         lnx::CaptureFormats(video), 0);
    std::shared_ptr<lnx::SourceOutputPin> still;
    if (streaming && streaming->stillCaptureMethod != 0) {
        auto stills = lnx::StillFormats(StillFrames(*streaming));
        const std::size_t largest = stills.empty() ? 0 : lnx::LargestFormat(stills);
        still = std::make_shared<lnx::SourceOutputPin>(self, kStillPinName, PIN_CATEGORY_STILL, std::move(stills),
                                                      largest);
    }
    filter->SetPins(std::move(capture), std::move(still));
    return filter;
}

std::shared_ptr<UsbSourceFilter> UsbSourceFilter::Unusable(std::string friendlyName, int error)
{
    std::shared_ptr<UsbSourceFilter> filter(new UsbSourceFilter(std::move(friendlyName), {}, nullptr, error));
    filter->SetPins(std::make_shared<lnx::SourceOutputPin>(std::weak_ptr<IBaseFilter>(filter), kCapturePinName,
                                                          PIN_CATEGORY_CAPTURE, std::vector<lnx::PinFormat> {}, 0),
                    nullptr);
    return filter;
}

UsbSourceFilter::UsbSourceFilter(std::string friendlyName, uvc::UvcFunction function,
                                 std::shared_ptr<UsbDevice> device, int error)
    : lnx::PinnedSourceFilter(std::move(friendlyName)),
      function(std::move(function)),
      device(std::move(device)),
      openError(error)
{
    if (!this->device)
        return;
    auto io = std::make_shared<UsbUnitIo>(this->device, this->function.controlInterface);
    topology = std::make_shared<uvc::ExtensionUnitTopology>(this->function.extensionUnits, io);
    videoProcAmp = MakeUsbVideoProcAmp(this->device, this->function);
    cameraControl = MakeUsbCameraControl(this->device, this->function);
    streamer = std::make_unique<UsbStreamer>(this->device, this->function);
}

UsbSourceFilter::~UsbSourceFilter()
{
    if (streamer)
        streamer->Stop();
}

HRESULT UsbSourceFilter::StartStreaming()
{
    if (!streamer)
        return lnx::StreamResultFromErrno(openError);
    UsbStreamer::Plan plan = PlanForConnectedPins<UsbStreamer::Plan>();
    // The button asks for nothing itself: it is told up, and the window decides (a full strip, a save).
    plan.onButton = [this] { RaiseEvent(EC_STILL_BUTTON); };
    return streamer->Start(std::move(plan));
}

void UsbSourceFilter::StopStreaming()
{
    if (streamer)
        streamer->Stop();
}

HRESULT UsbSourceFilter::TakeStill()
{
    if (!streamer)
        return E_FAIL;
    if (device->Lost())
        return HresultFromWin32(ERROR_DEVICE_NOT_CONNECTED);
    streamer->RequestStill();
    return S_OK;
}

} // namespace vistrel::usb
