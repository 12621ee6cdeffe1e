#pragma once
#include <memory>
#include <mutex>

#include "capture/contract/Graph.h"
#include "capture/runtime/RuntimeFilter.h"

namespace vistrel {

class InputPin;
class OutputPin;

// Passes every sample downstream unchanged and shows it to its callback first (mode 0 SampleCB,
// mode 1 BufferCB). It accepts whatever type its upstream pin offers.
class SampleGrabber : public RuntimeFilter, public ISampleGrabber, public std::enable_shared_from_this<SampleGrabber> {
public:
    static std::shared_ptr<SampleGrabber> Create();

    // Once SetCallback returns, the previous callback is not called any more.
    HRESULT SetCallback(ISampleGrabberCB* callback, std::int32_t mode) override;
    std::shared_ptr<IBaseFilter> AsFilter() override;
    HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>* pins) override;

private:

    HRESULT OnSample(const MediaSample& sample);

    std::shared_ptr<InputPin> input;
    std::shared_ptr<OutputPin> output;
    std::mutex callbackMutex;
    ISampleGrabberCB* callback = nullptr;
    std::int32_t mode = 0;
};

} // namespace vistrel
