#pragma once
// The source filter of a scanner driven through libusb: a capture pin, a still pin when the device has
// a still method, its extension units, its camera properties and the still trigger.
#include <memory>
#include <mutex>
#include <string>

#include "capture/contract/Filter.h"
#include "capture/usb/UsbStreamer.h"
#include "capture/v4l2/ExtensionUnitTopology.h"
#include "capture/v4l2/UvcDescriptors.h"
#include "capture/v4l2/V4l2OutputPin.h"

namespace vistrel::usb {

class UsbDevice;

class UsbSourceFilter final : public IBaseFilter,
                              public IAMVideoControl,
                              public std::enable_shared_from_this<UsbSourceFilter>
{
public:
    // A device whose interfaces are claimed.
    static std::shared_ptr<UsbSourceFilter> Create(std::string friendlyName, v4l2::UvcFunction function,
                                                   std::shared_ptr<UsbDevice> device);
    // A device that could not be opened or claimed (errno): it is listed all the same, so that it does
    // not hide the devices after it; it offers no unit and cannot run.
    static std::shared_ptr<UsbSourceFilter> Unusable(std::string friendlyName, int error);
    ~UsbSourceFilter() override;

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
    UsbSourceFilter(std::string friendlyName, v4l2::UvcFunction function, std::shared_ptr<UsbDevice> device,
                    int error);
    std::int32_t* ModeOf(const std::shared_ptr<IPin>& pin);

    const std::string friendlyName;
    const v4l2::UvcFunction function;
    const std::shared_ptr<UsbDevice> device; // null when unusable
    const int openError;
    std::shared_ptr<v4l2::ExtensionUnitTopology> topology;
    std::shared_ptr<IAMVideoProcAmp> videoProcAmp;
    std::shared_ptr<IAMCameraControl> cameraControl;
    std::shared_ptr<v4l2::V4l2OutputPin> capturePin;
    std::shared_ptr<v4l2::V4l2OutputPin> stillPin; // null without a still method

    mutable std::mutex mutex;
    FilterState state = FilterState::Stopped;
    std::string graphName;
    std::int32_t captureMode = 0;
    std::int32_t stillMode = 0;
    std::unique_ptr<UsbStreamer> streamer; // null when unusable
};

} // namespace vistrel::usb
