#include "capture/dshow/DshowPlatform.h"

#include "capture/dshow/DeviceChangeMessages.h"
#include "capture/dshow/DshowDevices.h"
#include "capture/dshow/DshowGraph.h"
#include "capture/dshow/DshowSampleGrabber.h"

namespace vistrel::dshow {
namespace {

class DshowPlatform final : public vistrel::ICapturePlatform {
public:
    vistrel::HRESULT CreateDeviceEnumerator(std::shared_ptr<vistrel::ICreateDevEnum>* enumerator) override
    {
        if (!enumerator)
            return E_POINTER;
        *enumerator = MakeSystemDeviceEnumerator();
        return S_OK;
    }
    vistrel::HRESULT CreateCaptureGraphBuilder(std::shared_ptr<vistrel::ICaptureGraphBuilder2>* builder) override
    {
        return dshow::CreateCaptureGraphBuilder(builder);
    }
    vistrel::HRESULT CreateFilterGraph(std::shared_ptr<vistrel::IGraphBuilder>* graph) override
    {
        return dshow::CreateFilterGraph(graph);
    }
    vistrel::HRESULT CreateSampleGrabber(std::shared_ptr<vistrel::ISampleGrabber>* grabber) override
    {
        return dshow::CreateSampleGrabber(grabber);
    }
    vistrel::HRESULT CreateNullRenderer(std::shared_ptr<vistrel::IBaseFilter>* renderer) override
    {
        return dshow::CreateNullRenderer(renderer);
    }
    vistrel::IDeviceNotifications& DeviceNotifications() override { return notifications; }

private:
    DeviceChangeMessages notifications;
};

} // namespace

std::shared_ptr<vistrel::ICapturePlatform> MakeDshowPlatform()
{
    return std::make_shared<DshowPlatform>();
}

} // namespace vistrel::dshow
