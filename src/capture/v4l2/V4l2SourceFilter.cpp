#include "capture/v4l2/V4l2SourceFilter.h"

#include "capture/linux/ErrnoResult.h"
#include "capture/v4l2/KernelUnitIo.h"
#include "capture/v4l2/V4l2CameraProperties.h"

namespace vistrel::v4l2 {

namespace {

constexpr const char* kCapturePinName = "Capture";
constexpr const char* kStillPinName = "Still";

} // namespace

std::shared_ptr<V4l2SourceFilter> V4l2SourceFilter::Create(DeviceDescription description,
                                                           std::shared_ptr<IV4l2Io> io,
                                                           uvc::ExtensionUnitTopology::Wait wait)
{
    std::shared_ptr<V4l2SourceFilter> filter(
        new V4l2SourceFilter(std::move(description), std::move(io), std::move(wait)));
    // The pins name their filter, which needs the filter's own shared pointer.
    const std::weak_ptr<IBaseFilter> self = filter;
    const auto& frames = filter->description.frames;
    auto capture = std::make_shared<lnx::SourceOutputPin>(self, kCapturePinName, PIN_CATEGORY_CAPTURE, lnx::CaptureFormats(frames), 0);
    std::shared_ptr<lnx::SourceOutputPin> still;
    const auto& function = filter->description.function;
    if (function && function->stillCaptureMethod != 0) {
        auto stills = lnx::StillFormats(frames);
        const std::size_t largest = stills.empty() ? 0 : lnx::LargestFormat(stills);
        still = std::make_shared<lnx::SourceOutputPin>(self, kStillPinName, PIN_CATEGORY_STILL, std::move(stills), largest);
    }
    filter->SetPins(std::move(capture), std::move(still));
    return filter;
}

V4l2SourceFilter::V4l2SourceFilter(DeviceDescription description, std::shared_ptr<IV4l2Io> io,
                                   uvc::ExtensionUnitTopology::Wait wait)
    : lnx::PinnedSourceFilter(description.friendlyName),
      description(std::move(description)),
      io(std::move(io)),
      streamer(this->io->Descriptor())
{
    const auto& function = this->description.function;
    topology = std::make_shared<uvc::ExtensionUnitTopology>(
        function ? function->extensionUnits : std::vector<uvc::UvcExtensionUnit> {},
        std::make_shared<KernelUnitIo>(this->io), std::move(wait));
    videoProcAmp = MakeVideoProcAmp(this->io);
    cameraControl = MakeCameraControl(this->io);
}

V4l2SourceFilter::~V4l2SourceFilter()
{
    streamer.Stop();
}

HRESULT V4l2SourceFilter::StartStreaming()
{
    if (io->Descriptor() < 0)
        return lnx::StreamResultFromErrno(io->OpenError());
    return streamer.Start(PlanForConnectedPins<V4l2Streamer::Plan>());
}

void V4l2SourceFilter::StopStreaming()
{
    streamer.Stop();
}

HRESULT V4l2SourceFilter::TakeStill()
{
    streamer.RequestStill();
    return S_OK;
}

} // namespace vistrel::v4l2
