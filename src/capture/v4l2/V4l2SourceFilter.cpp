#include "capture/v4l2/V4l2SourceFilter.h"

#include "capture/v4l2/ErrnoResult.h"
#include "capture/v4l2/V4l2CameraProperties.h"

namespace vistrel::v4l2 {

namespace {

constexpr const char* kCapturePinName = "Capture";
constexpr const char* kStillPinName = "Still";

} // namespace

std::shared_ptr<V4l2SourceFilter> V4l2SourceFilter::Create(DeviceDescription description,
                                                           std::shared_ptr<IV4l2Io> io,
                                                           ExtensionUnitTopology::Wait wait)
{
    std::shared_ptr<V4l2SourceFilter> filter(
        new V4l2SourceFilter(std::move(description), std::move(io), std::move(wait)));
    // The pins name their filter, which needs the filter's own shared pointer.
    const std::weak_ptr<IBaseFilter> self = filter;
    const auto& frames = filter->description.frames;
    filter->capturePin =
        std::make_shared<V4l2OutputPin>(self, kCapturePinName, PIN_CATEGORY_CAPTURE, CaptureFormats(frames), 0);
    const auto& function = filter->description.function;
    if (function && function->stillCaptureMethod != 0) {
        auto stills = StillFormats(frames);
        const std::size_t largest = stills.empty() ? 0 : LargestFormat(stills);
        filter->stillPin =
            std::make_shared<V4l2OutputPin>(self, kStillPinName, PIN_CATEGORY_STILL, std::move(stills), largest);
    }
    return filter;
}

V4l2SourceFilter::V4l2SourceFilter(DeviceDescription description, std::shared_ptr<IV4l2Io> io,
                                   ExtensionUnitTopology::Wait wait)
    : description(std::move(description)), io(std::move(io)), streamer(this->io->Descriptor())
{
    const auto& function = this->description.function;
    topology = std::make_shared<ExtensionUnitTopology>(
        function ? function->extensionUnits : std::vector<UvcExtensionUnit> {}, this->io, std::move(wait));
    videoProcAmp = MakeVideoProcAmp(this->io);
    cameraControl = MakeCameraControl(this->io);
}

V4l2SourceFilter::~V4l2SourceFilter()
{
    streamer.Stop();
}

HRESULT V4l2SourceFilter::EnumPins(std::vector<std::shared_ptr<IPin>>* pins)
{
    if (!pins)
        return E_POINTER;
    pins->clear();
    pins->push_back(capturePin);
    if (stillPin)
        pins->push_back(stillPin);
    return S_OK;
}

HRESULT V4l2SourceFilter::JoinFilterGraph(IFilterGraph* graph, const std::string& name)
{
    std::lock_guard lock(mutex);
    graphName = graph ? name : std::string();
    return S_OK;
}

std::string V4l2SourceFilter::Name() const
{
    std::lock_guard lock(mutex);
    return graphName.empty() ? description.friendlyName : graphName;
}

HRESULT V4l2SourceFilter::Run()
{
    std::lock_guard lock(mutex);
    if (state == FilterState::Running)
        return S_OK;
    if (io->Descriptor() < 0)
        return StreamResultFromErrno(io->OpenError());
    V4l2Streamer::Plan plan;
    if (capturePin->IsConnected()) {
        plan.preview = capturePin->CurrentSource();
        plan.onPreview = [pin = capturePin.get()](std::span<const std::uint8_t> bytes, double time) {
            pin->Deliver(bytes, time);
        };
    }
    if (stillPin && stillPin->IsConnected()) {
        plan.still = stillPin->CurrentSource();
        plan.onStill = [pin = stillPin.get()](std::span<const std::uint8_t> bytes, double time) {
            pin->Deliver(bytes, time);
        };
    }
    if (const HRESULT hr = streamer.Start(std::move(plan)); Failed(hr))
        return hr;
    capturePin->SetRunning(true);
    if (stillPin)
        stillPin->SetRunning(true);
    state = FilterState::Running;
    return S_OK;
}

HRESULT V4l2SourceFilter::Stop()
{
    std::lock_guard lock(mutex);
    streamer.Stop();
    capturePin->SetRunning(false);
    if (stillPin)
        stillPin->SetRunning(false);
    state = FilterState::Stopped;
    return S_OK;
}

HRESULT V4l2SourceFilter::GetState(std::uint32_t, FilterState* current)
{
    if (!current)
        return E_POINTER;
    std::lock_guard lock(mutex);
    *current = state;
    return S_OK;
}

std::int32_t* V4l2SourceFilter::ModeOf(const std::shared_ptr<IPin>& pin)
{
    if (pin && pin == capturePin)
        return &captureMode;
    if (pin && stillPin && pin == stillPin)
        return &stillMode;
    return nullptr;
}

HRESULT V4l2SourceFilter::SetMode(const std::shared_ptr<IPin>& pin, std::int32_t mode)
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
    streamer.RequestStill();
    return S_OK;
}

HRESULT V4l2SourceFilter::GetMode(const std::shared_ptr<IPin>& pin, std::int32_t* mode)
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

} // namespace vistrel::v4l2
