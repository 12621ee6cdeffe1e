#pragma once
// The source filter of one V4L2 device: a capture pin, a still pin when the device has a still method,
// its extension units, its camera properties and the still trigger.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/uvc/ExtensionUnitTopology.h"
#include "capture/linux/FormatList.h"
#include "capture/linux/PinnedSourceFilter.h"
#include "capture/uvc/UvcDescriptors.h"
#include "capture/v4l2/V4l2Io.h"
#include "capture/v4l2/V4l2Streamer.h"

namespace vistrel::v4l2 {

struct DeviceDescription
{
    std::string friendlyName;
    std::optional<uvc::UvcFunction> function; // none when the device is not a USB video function
    std::vector<lnx::FrameFormat> frames;
};

// uvcvideo does not deliver a device's still-image frames, so the still pin is a second, logical pin:
// a trigger switches the stream to the still pin's format for one frame, hands that frame on as a JPEG
// and returns to the preview format.
class V4l2SourceFilter final : public lnx::PinnedSourceFilter
{
public:
    // wait: how the extension units wait before asking a control again (a sleep when empty).
    static std::shared_ptr<V4l2SourceFilter> Create(DeviceDescription description, std::shared_ptr<IV4l2Io> io,
                                                    uvc::ExtensionUnitTopology::Wait wait = {});
    ~V4l2SourceFilter() override;

    std::shared_ptr<IKsControl> QueryKsControl() override { return topology; }
    std::shared_ptr<IKsTopologyInfo> QueryKsTopologyInfo() override { return topology; }
    std::shared_ptr<IAMVideoProcAmp> QueryVideoProcAmp() override { return videoProcAmp; }
    std::shared_ptr<IAMCameraControl> QueryCameraControl() override { return cameraControl; }

private:
    V4l2SourceFilter(DeviceDescription description, std::shared_ptr<IV4l2Io> io, uvc::ExtensionUnitTopology::Wait wait);
    HRESULT StartStreaming() override;
    void StopStreaming() override;
    HRESULT TakeStill() override;

    const DeviceDescription description;
    const std::shared_ptr<IV4l2Io> io;
    std::shared_ptr<uvc::ExtensionUnitTopology> topology;
    std::shared_ptr<IAMVideoProcAmp> videoProcAmp;
    std::shared_ptr<IAMCameraControl> cameraControl;
    V4l2Streamer streamer;
};

} // namespace vistrel::v4l2
