#pragma once
// The source filter of one V4L2 device: a capture pin, a still pin when the device has a still method,
// its extension units, its camera properties and the still trigger.
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/contract/Filter.h"
#include "capture/v4l2/ExtensionUnitTopology.h"
#include "capture/v4l2/FormatList.h"
#include "capture/v4l2/UvcDescriptors.h"
#include "capture/v4l2/V4l2Io.h"
#include "capture/v4l2/V4l2OutputPin.h"
#include "capture/v4l2/V4l2Streamer.h"

namespace vistrel::v4l2 {

struct DeviceDescription
{
    std::string friendlyName;
    std::optional<UvcFunction> function; // none when the device is not a USB video function
    std::vector<FrameFormat> frames;
};

// uvcvideo does not deliver a device's still-image frames, so the still pin is a second, logical pin:
// a trigger switches the stream to the still pin's format for one frame, hands that frame on as a JPEG
// and returns to the preview format.
class V4l2SourceFilter final : public IBaseFilter,
                               public IAMVideoControl,
                               public std::enable_shared_from_this<V4l2SourceFilter>
{
public:
    // wait: how the extension units wait before asking a control again (a sleep when empty).
    static std::shared_ptr<V4l2SourceFilter> Create(DeviceDescription description, std::shared_ptr<IV4l2Io> io,
                                                    ExtensionUnitTopology::Wait wait = {});
    ~V4l2SourceFilter() override;

    HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>* pins) override;
    HRESULT JoinFilterGraph(IFilterGraph* graph, const std::string& name) override;
    std::string Name() const override;
    HRESULT Run() override;
    HRESULT Stop() override;
    HRESULT GetState(std::uint32_t timeoutMs, FilterState* state) override;

    std::shared_ptr<IKsControl> QueryKsControl() override { return topology; }
    std::shared_ptr<IKsTopologyInfo> QueryKsTopologyInfo() override { return topology; }
    std::shared_ptr<IAMVideoProcAmp> QueryVideoProcAmp() override { return videoProcAmp; }
    std::shared_ptr<IAMCameraControl> QueryCameraControl() override { return cameraControl; }
    std::shared_ptr<IAMVideoControl> QueryVideoControl() override { return shared_from_this(); }

    // IAMVideoControl: VideoControlFlag_Trigger on the still pin asks for one still.
    HRESULT SetMode(const std::shared_ptr<IPin>& pin, std::int32_t mode) override;
    HRESULT GetMode(const std::shared_ptr<IPin>& pin, std::int32_t* mode) override;

private:
    V4l2SourceFilter(DeviceDescription description, std::shared_ptr<IV4l2Io> io, ExtensionUnitTopology::Wait wait);
    std::int32_t* ModeOf(const std::shared_ptr<IPin>& pin);

    const DeviceDescription description;
    const std::shared_ptr<IV4l2Io> io;
    std::shared_ptr<ExtensionUnitTopology> topology;
    std::shared_ptr<IAMVideoProcAmp> videoProcAmp;
    std::shared_ptr<IAMCameraControl> cameraControl;
    std::shared_ptr<V4l2OutputPin> capturePin;
    std::shared_ptr<V4l2OutputPin> stillPin; // null without a still method

    mutable std::mutex mutex;
    FilterState state = FilterState::Stopped;
    std::string graphName;
    std::int32_t captureMode = 0;
    std::int32_t stillMode = 0;
    V4l2Streamer streamer;
};

} // namespace vistrel::v4l2
