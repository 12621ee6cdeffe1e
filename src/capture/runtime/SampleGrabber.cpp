#include "capture/runtime/SampleGrabber.h"

#include "capture/runtime/RuntimePins.h"

namespace vistrel {

std::shared_ptr<SampleGrabber> SampleGrabber::Create()
{
    auto grabber = std::make_shared<SampleGrabber>();
    std::weak_ptr<SampleGrabber> self = grabber;
    grabber->input = std::make_shared<InputPin>(
        std::weak_ptr<IBaseFilter>(grabber), "Input", [](const MediaType&) { return S_OK; },
        [self](const MediaSample& sample) {
            const auto me = self.lock();
            return me ? me->OnSample(sample) : E_UNEXPECTED;
        });
    grabber->output = std::make_shared<OutputPin>(std::weak_ptr<IBaseFilter>(grabber), "Output",
                                                  [self](MediaType* type) {
                                                      const auto me = self.lock();
                                                      return me ? me->input->ConnectionMediaType(type) : E_UNEXPECTED;
                                                  });
    return grabber;
}

HRESULT SampleGrabber::SetCallback(ISampleGrabberCB* newCallback, std::int32_t newMode)
{
    if (newMode != 0 && newMode != 1)
        return E_INVALIDARG;
    // Taking the lock waits for a delivery in progress to the old callback.
    std::lock_guard lock(callbackMutex);
    callback = newCallback;
    mode = newMode;
    return S_OK;
}

std::shared_ptr<IBaseFilter> SampleGrabber::AsFilter()
{
    return shared_from_this();
}

HRESULT SampleGrabber::EnumPins(std::vector<std::shared_ptr<IPin>>* pins)
{
    if (!pins)
        return E_POINTER;
    *pins = {input, output};
    return S_OK;
}

HRESULT SampleGrabber::OnSample(const MediaSample& sample)
{
    {
        std::lock_guard lock(callbackMutex);
        if (callback) {
            if (mode == 0)
                callback->SampleCB(sample.time, sample);
            else
                callback->BufferCB(sample.time, sample.data, sample.length);
        }
    }
    return output->Send(sample);
}

} // namespace vistrel
