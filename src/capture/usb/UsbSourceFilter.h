#pragma once
// The source filter of a scanner driven through libusb: a capture pin, a still pin when the device has
// a still method, its extension units, its camera properties and the still trigger.
#include <memory>
#include <string>

#include "capture/usb/UsbStreamer.h"
#include "capture/uvc/ExtensionUnitTopology.h"
#include "capture/linux/PinnedSourceFilter.h"
#include "capture/uvc/UvcDescriptors.h"

namespace vistrel::usb {

class UsbDevice;

class UsbSourceFilter final : public lnx::PinnedSourceFilter
{
public:
    // A device whose interfaces are claimed.
    static std::shared_ptr<UsbSourceFilter> Create(std::string friendlyName, uvc::UvcFunction function,
                                                   std::shared_ptr<UsbDevice> device);
    // A device that could not be opened or claimed (errno): it is listed all the same, so that it does
    // not hide the devices after it; it offers no unit and cannot run.
    static std::shared_ptr<UsbSourceFilter> Unusable(std::string friendlyName, int error);
    ~UsbSourceFilter() override;

    std::shared_ptr<IKsControl> QueryKsControl() override { return topology; }
    std::shared_ptr<IKsTopologyInfo> QueryKsTopologyInfo() override { return topology; }
    std::shared_ptr<IAMVideoProcAmp> QueryVideoProcAmp() override { return videoProcAmp; }
    std::shared_ptr<IAMCameraControl> QueryCameraControl() override { return cameraControl; }

private:
    UsbSourceFilter(std::string friendlyName, uvc::UvcFunction function, std::shared_ptr<UsbDevice> device,
                    int error);
    HRESULT StartStreaming() override;
    void StopStreaming() override;
    HRESULT TakeStill() override;

    const uvc::UvcFunction function;
    const std::shared_ptr<UsbDevice> device; // null when unusable
    const int openError;
    std::shared_ptr<uvc::ExtensionUnitTopology> topology;
    std::shared_ptr<IAMVideoProcAmp> videoProcAmp;
    std::shared_ptr<IAMCameraControl> cameraControl;
    std::unique_ptr<UsbStreamer> streamer; // null when unusable
};

} // namespace vistrel::usb
