#pragma once
#include <functional>
#include <memory>
#include <string>

#include "capture/runtime/PinBase.h"

namespace vistrel {

// An input pin that hands connection checks and samples to its filter.
class InputPin : public PinBase {
public:
    using Accept = std::function<HRESULT(const MediaType&)>;
    using Deliver = std::function<HRESULT(const MediaSample&)>;
    InputPin(std::weak_ptr<IBaseFilter> filter, std::string name, Accept accept, Deliver deliver);

    HRESULT ReceiveConnection(const std::shared_ptr<IPin>& connector, const MediaType& type) override;
    HRESULT Receive(const MediaSample& sample) override;

private:
    Accept accept;
    Deliver deliver;
};

// An output pin that offers its filter's current type and passes samples to the connected pin.
class OutputPin : public PinBase, public std::enable_shared_from_this<OutputPin> {
public:
    using CurrentType = std::function<HRESULT(MediaType*)>;
    OutputPin(std::weak_ptr<IBaseFilter> filter, std::string name, CurrentType currentType);

    HRESULT Connect(const std::shared_ptr<IPin>& receivePin, const MediaType* type) override;

    // Sends a sample to the connected input pin; S_FALSE when unconnected.
    HRESULT Send(const MediaSample& sample);

private:
    CurrentType currentType;
};

} // namespace vistrel
