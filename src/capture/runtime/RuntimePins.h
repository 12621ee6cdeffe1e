#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "capture/contract/Filter.h"

namespace vistrel {

// An input pin that hands connection checks and samples to its filter.
class InputPin : public IPin, public std::enable_shared_from_this<InputPin> {
public:
    using Accept = std::function<HRESULT(const MediaType&)>;
    using Deliver = std::function<HRESULT(const MediaSample&)>;
    InputPin(std::weak_ptr<IBaseFilter> filter, std::string name, Accept accept, Deliver deliver);

    HRESULT Connect(const std::shared_ptr<IPin>& receivePin, const MediaType* type) override;
    HRESULT ReceiveConnection(const std::shared_ptr<IPin>& connector, const MediaType& type) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(std::shared_ptr<IPin>* pin) override;
    HRESULT ConnectionMediaType(MediaType* type) override;
    HRESULT QueryPinInfo(PinInfo* info) override;
    HRESULT QueryDirection(PinDirection* direction) override;
    HRESULT Receive(const MediaSample& sample) override;

    bool IsConnected() const;

private:
    std::weak_ptr<IBaseFilter> filter;
    std::string name;
    Accept accept;
    Deliver deliver;
    mutable std::mutex mutex;
    std::shared_ptr<IPin> connected;
    MediaType type;
};

// An output pin that offers its filter's current type and passes samples to the connected pin.
class OutputPin : public IPin, public std::enable_shared_from_this<OutputPin> {
public:
    using CurrentType = std::function<HRESULT(MediaType*)>;
    OutputPin(std::weak_ptr<IBaseFilter> filter, std::string name, CurrentType currentType);

    HRESULT Connect(const std::shared_ptr<IPin>& receivePin, const MediaType* type) override;
    HRESULT ReceiveConnection(const std::shared_ptr<IPin>& connector, const MediaType& type) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(std::shared_ptr<IPin>* pin) override;
    HRESULT ConnectionMediaType(MediaType* type) override;
    HRESULT QueryPinInfo(PinInfo* info) override;
    HRESULT QueryDirection(PinDirection* direction) override;
    HRESULT Receive(const MediaSample& sample) override;

    // Sends a sample to the connected input pin; S_FALSE when unconnected.
    HRESULT Send(const MediaSample& sample);

private:
    std::weak_ptr<IBaseFilter> filter;
    std::string name;
    CurrentType currentType;
    mutable std::mutex mutex;
    std::shared_ptr<IPin> connected;
    MediaType type;
};

} // namespace vistrel
