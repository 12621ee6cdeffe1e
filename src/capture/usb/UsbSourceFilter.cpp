#include "capture/usb/UsbSourceFilter.h"

#include <linux/videodev2.h>

#include <algorithm>

#include "capture/usb/UsbCameraProperties.h"
#include "capture/usb/UsbDevice.h"
#include "capture/usb/UsbUnitIo.h"
#include "capture/v4l2/ErrnoResult.h"

namespace vistrel::usb {

namespace {

constexpr const char* kCapturePinName = "Capture";
constexpr const char* kStillPinName = "Still";
constexpr std::uint32_t kReferenceTimePerSecond = 10'000'000;

const v4l2::UvcStreamingInterface* FirstStreaming(const v4l2::UvcFunction& function)
{
    return function.streaming.empty() ? nullptr : &function.streaming.front();
}

v4l2::FrameFormat Mjpeg(std::int32_t width, std::int32_t height, std::uint32_t interval = 0)
{
    return {V4L2_PIX_FMT_MJPEG, width, height, interval, interval ? kReferenceTimePerSecond : 0};
}

// Motion-JPEG video frames at their fastest rate, in descriptor order.
std::vector<v4l2::FrameFormat> VideoFrames(const v4l2::UvcStreamingInterface& streaming)
{
    std::vector<v4l2::FrameFormat> frames;
    for (const v4l2::UvcFormat& format : streaming.formats) {
        if (format.kind != v4l2::UvcFormatKind::Mjpeg)
            continue;
        for (const v4l2::UvcFrame& frame : format.frames) {
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
std::vector<v4l2::FrameFormat> StillFrames(const v4l2::UvcStreamingInterface& streaming)
{
    std::vector<v4l2::FrameFormat> frames;
    if (streaming.stillCaptureMethod >= 2) {
        for (const v4l2::UvcFormat& format : streaming.formats) {
            if (format.kind == v4l2::UvcFormatKind::Mjpeg && format.stills) {
                for (const v4l2::UvcStillSize& size : format.stills->sizes)
                    frames.push_back(Mjpeg(size.width, size.height));
            }
        }
    }
    return frames.empty() ? VideoFrames(streaming) : frames;
}

} // namespace

std::shared_ptr<UsbSourceFilter> UsbSourceFilter::Create(std::string friendlyName, v4l2::UvcFunction function,
                                                         std::shared_ptr<UsbDevice> device)
{
    std::shared_ptr<UsbSourceFilter> filter(
        new UsbSourceFilter(std::move(friendlyName), std::move(function), std::move(device), 0));
    // The pins name their filter, which needs the filter's own shared pointer.
    const std::weak_ptr<IBaseFilter> self = filter;
    const v4l2::UvcStreamingInterface* streaming = FirstStreaming(filter->function);
    const auto video = streaming ? VideoFrames(*streaming) : std::vector<v4l2::FrameFormat> {};
    auto capture = std::make_shared<v4l2::V4l2OutputPin>(self, kCapturePinName, PIN_CATEGORY_CAPTURE,
                                                         v4l2::CaptureFormats(video), 0);
    std::shared_ptr<v4l2::V4l2OutputPin> still;
    if (streaming && streaming->stillCaptureMethod != 0) {
        auto stills = v4l2::StillFormats(StillFrames(*streaming));
        const std::size_t largest = stills.empty() ? 0 : v4l2::LargestFormat(stills);
        still = std::make_shared<v4l2::V4l2OutputPin>(self, kStillPinName, PIN_CATEGORY_STILL, std::move(stills),
                                                      largest);
    }
    filter->SetPins(std::move(capture), std::move(still));
    return filter;
}

std::shared_ptr<UsbSourceFilter> UsbSourceFilter::Unusable(std::string friendlyName, int error)
{
    std::shared_ptr<UsbSourceFilter> filter(new UsbSourceFilter(std::move(friendlyName), {}, nullptr, error));
    filter->SetPins(std::make_shared<v4l2::V4l2OutputPin>(std::weak_ptr<IBaseFilter>(filter), kCapturePinName,
                                                          PIN_CATEGORY_CAPTURE, std::vector<v4l2::PinFormat> {}, 0),
                    nullptr);
    return filter;
}

UsbSourceFilter::UsbSourceFilter(std::string friendlyName, v4l2::UvcFunction function,
                                 std::shared_ptr<UsbDevice> device, int error)
    : PinnedSourceFilter(std::move(friendlyName)),
      function(std::move(function)),
      device(std::move(device)),
      openError(error)
{
    if (!this->device)
        return;
    auto io = std::make_shared<UsbUnitIo>(this->device, this->function.controlInterface);
    topology = std::make_shared<v4l2::ExtensionUnitTopology>(this->function.extensionUnits, io);
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
        return v4l2::StreamResultFromErrno(openError);
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
