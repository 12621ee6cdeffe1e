#include "capture/usb/UsbSourceFilter.h"

#include <linux/videodev2.h>

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

std::optional<StreamSize> SizeOf(const std::optional<v4l2::FrameFormat>& format)
{
    if (!format)
        return std::nullopt;
    return StreamSize {format->width, format->height};
}

} // namespace

std::shared_ptr<UsbSourceFilter> UsbSourceFilter::Create(std::string friendlyName, v4l2::UvcFunction function,
                                                         std::shared_ptr<UsbDevice> device)
{
    std::shared_ptr<UsbSourceFilter> filter(
        new UsbSourceFilter(std::move(friendlyName), std::move(function), std::move(device), 0));
    const std::weak_ptr<IBaseFilter> self = filter;
    const v4l2::UvcStreamingInterface* streaming = FirstStreaming(filter->function);
    const auto video = streaming ? VideoFrames(*streaming) : std::vector<v4l2::FrameFormat> {};
    filter->capturePin = std::make_shared<v4l2::V4l2OutputPin>(self, kCapturePinName, PIN_CATEGORY_CAPTURE,
                                                               v4l2::CaptureFormats(video), 0);
    if (streaming && streaming->stillCaptureMethod != 0) {
        auto stills = v4l2::StillFormats(StillFrames(*streaming));
        const std::size_t largest = stills.empty() ? 0 : v4l2::LargestFormat(stills);
        filter->stillPin = std::make_shared<v4l2::V4l2OutputPin>(self, kStillPinName, PIN_CATEGORY_STILL,
                                                                 std::move(stills), largest);
    }
    return filter;
}

std::shared_ptr<UsbSourceFilter> UsbSourceFilter::Unusable(std::string friendlyName, int error)
{
    std::shared_ptr<UsbSourceFilter> filter(new UsbSourceFilter(std::move(friendlyName), {}, nullptr, error));
    filter->capturePin = std::make_shared<v4l2::V4l2OutputPin>(std::weak_ptr<IBaseFilter>(filter), kCapturePinName,
                                                               PIN_CATEGORY_CAPTURE, std::vector<v4l2::PinFormat> {}, 0);
    return filter;
}

UsbSourceFilter::UsbSourceFilter(std::string friendlyName, v4l2::UvcFunction function,
                                 std::shared_ptr<UsbDevice> device, int error)
    : friendlyName(std::move(friendlyName)), function(std::move(function)), device(std::move(device)), openError(error)
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

HRESULT UsbSourceFilter::EnumPins(std::vector<std::shared_ptr<IPin>>* pins)
{
    if (!pins)
        return E_POINTER;
    pins->clear();
    pins->push_back(capturePin);
    if (stillPin)
        pins->push_back(stillPin);
    return S_OK;
}

HRESULT UsbSourceFilter::JoinFilterGraph(IFilterGraph* graph, const std::string& name)
{
    std::lock_guard lock(mutex);
    graphName = graph ? name : std::string();
    return S_OK;
}

std::string UsbSourceFilter::Name() const
{
    std::lock_guard lock(mutex);
    return graphName.empty() ? friendlyName : graphName;
}

HRESULT UsbSourceFilter::Run()
{
    std::lock_guard lock(mutex);
    if (state == FilterState::Running)
        return S_OK;
    if (!streamer)
        return v4l2::StreamResultFromErrno(openError);
    UsbStreamer::Plan plan;
    if (capturePin->IsConnected()) {
        plan.preview = SizeOf(capturePin->CurrentSource());
        plan.onPreview = [pin = capturePin.get()](std::span<const std::uint8_t> bytes, double time) {
            pin->Deliver(bytes, time);
        };
    }
    if (stillPin && stillPin->IsConnected()) {
        plan.still = SizeOf(stillPin->CurrentSource());
        plan.onStill = [pin = stillPin.get()](std::span<const std::uint8_t> bytes, double time) {
            pin->Deliver(bytes, time);
        };
    }
    if (const HRESULT hr = streamer->Start(std::move(plan)); Failed(hr))
        return hr;
    capturePin->SetRunning(true);
    if (stillPin)
        stillPin->SetRunning(true);
    state = FilterState::Running;
    return S_OK;
}

HRESULT UsbSourceFilter::Stop()
{
    std::lock_guard lock(mutex);
    if (streamer)
        streamer->Stop();
    capturePin->SetRunning(false);
    if (stillPin)
        stillPin->SetRunning(false);
    state = FilterState::Stopped;
    return S_OK;
}

HRESULT UsbSourceFilter::GetState(std::uint32_t, FilterState* current)
{
    if (!current)
        return E_POINTER;
    std::lock_guard lock(mutex);
    *current = state;
    return S_OK;
}

std::int32_t* UsbSourceFilter::ModeOf(const std::shared_ptr<IPin>& pin)
{
    if (pin && pin == capturePin)
        return &captureMode;
    if (pin && stillPin && pin == stillPin)
        return &stillMode;
    return nullptr;
}

HRESULT UsbSourceFilter::SetMode(const std::shared_ptr<IPin>& pin, std::int32_t mode)
{
    std::lock_guard lock(mutex);
    std::int32_t* stored = ModeOf(pin);
    if (!stored)
        return E_INVALIDARG;
    *stored = mode & ~VideoControlFlag_Trigger; // the trigger is a moment, not a mode
    if (!(mode & VideoControlFlag_Trigger) || pin != stillPin)
        return S_OK;
    if (state != FilterState::Running)
        return E_FAIL;
    if (!stillPin->IsConnected())
        return VFW_E_NOT_CONNECTED;
    if (device->Lost())
        return HresultFromWin32(ERROR_DEVICE_NOT_CONNECTED);
    streamer->RequestStill();
    return S_OK;
}

HRESULT UsbSourceFilter::GetMode(const std::shared_ptr<IPin>& pin, std::int32_t* mode)
{
    if (!mode)
        return E_POINTER;
    std::lock_guard lock(mutex);
    const std::int32_t* stored = ModeOf(pin);
    if (!stored)
        return E_INVALIDARG;
    *mode = *stored;
    return S_OK;
}

} // namespace vistrel::usb
