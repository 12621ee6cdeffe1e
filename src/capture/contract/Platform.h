#pragma once
// The capture platform: the factory of everything the engine creates.
#include <memory>

#include "capture/contract/Devices.h"
#include "capture/contract/Graph.h"

namespace vistrel {

class ICapturePlatform {
public:
    virtual ~ICapturePlatform() = default;
    virtual HRESULT CreateDeviceEnumerator(std::shared_ptr<ICreateDevEnum>* enumerator) = 0;
    virtual HRESULT CreateCaptureGraphBuilder(std::shared_ptr<ICaptureGraphBuilder2>* builder) = 0;
    virtual HRESULT CreateFilterGraph(std::shared_ptr<IGraphBuilder>* graph) = 0;
    virtual HRESULT CreateSampleGrabber(std::shared_ptr<ISampleGrabber>* grabber) = 0;
    virtual HRESULT CreateNullRenderer(std::shared_ptr<IBaseFilter>* renderer) = 0;
    virtual IDeviceNotifications& DeviceNotifications() = 0;
    // Devices the last enumeration listed but could not open, so that the window can say why.
    virtual std::vector<UnusableDevice> UnusableDevices() { return {}; }
};

} // namespace vistrel
