#include "capture/runtime/RuntimePins.h"

namespace vistrel {

InputPin::InputPin(std::weak_ptr<IBaseFilter> filter, std::string name, Accept accept, Deliver deliver)
    : filter(std::move(filter)), name(std::move(name)), accept(std::move(accept)), deliver(std::move(deliver))
{
}

HRESULT InputPin::Connect(const std::shared_ptr<IPin>&, const MediaType*)
{
    return E_UNEXPECTED; // input pins are connected to, never from
}

HRESULT InputPin::ReceiveConnection(const std::shared_ptr<IPin>& connector, const MediaType& offered)
{
    if (!connector)
        return E_POINTER;
    std::lock_guard lock(mutex);
    if (connected)
        return VFW_E_ALREADY_CONNECTED;
    if (accept && Failed(accept(offered)))
        return VFW_E_TYPE_NOT_ACCEPTED;
    connected = connector;
    type = offered;
    return S_OK;
}

HRESULT InputPin::Disconnect()
{
    std::lock_guard lock(mutex);
    if (!connected)
        return S_FALSE;
    connected.reset();
    type = MediaType {};
    return S_OK;
}

HRESULT InputPin::ConnectedTo(std::shared_ptr<IPin>* pin)
{
    if (!pin)
        return E_POINTER;
    std::lock_guard lock(mutex);
    *pin = connected;
    return connected ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT InputPin::ConnectionMediaType(MediaType* out)
{
    if (!out)
        return E_POINTER;
    std::lock_guard lock(mutex);
    if (!connected)
        return VFW_E_NOT_CONNECTED;
    *out = type;
    return S_OK;
}

HRESULT InputPin::QueryPinInfo(PinInfo* info)
{
    if (!info)
        return E_POINTER;
    info->filter = filter.lock();
    info->direction = PinDirection::Input;
    info->name = name;
    return info->filter ? S_OK : E_UNEXPECTED;
}

HRESULT InputPin::QueryDirection(PinDirection* direction)
{
    if (!direction)
        return E_POINTER;
    *direction = PinDirection::Input;
    return S_OK;
}

HRESULT InputPin::Receive(const MediaSample& sample)
{
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    return deliver ? deliver(sample) : S_OK;
}

bool InputPin::IsConnected() const
{
    std::lock_guard lock(mutex);
    return connected != nullptr;
}

OutputPin::OutputPin(std::weak_ptr<IBaseFilter> filter, std::string name, CurrentType currentType)
    : filter(std::move(filter)), name(std::move(name)), currentType(std::move(currentType))
{
}

HRESULT OutputPin::Connect(const std::shared_ptr<IPin>& receivePin, const MediaType* requested)
{
    if (!receivePin)
        return E_POINTER;
    {
        std::lock_guard lock(mutex);
        if (connected)
            return VFW_E_ALREADY_CONNECTED;
    }
    MediaType offered;
    if (requested) {
        offered = *requested;
    } else {
        const HRESULT hr = currentType ? currentType(&offered) : VFW_E_NOT_CONNECTED;
        if (Failed(hr))
            return hr;
    }
    // The receiving pin is called without our lock: it may ask us about ourselves.
    const HRESULT hr = receivePin->ReceiveConnection(shared_from_this(), offered);
    if (Failed(hr))
        return hr;
    std::lock_guard lock(mutex);
    connected = receivePin;
    type = std::move(offered);
    return S_OK;
}

HRESULT OutputPin::ReceiveConnection(const std::shared_ptr<IPin>&, const MediaType&)
{
    return E_UNEXPECTED;
}

HRESULT OutputPin::Disconnect()
{
    std::lock_guard lock(mutex);
    if (!connected)
        return S_FALSE;
    connected.reset();
    type = MediaType {};
    return S_OK;
}

HRESULT OutputPin::ConnectedTo(std::shared_ptr<IPin>* pin)
{
    if (!pin)
        return E_POINTER;
    std::lock_guard lock(mutex);
    *pin = connected;
    return connected ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT OutputPin::ConnectionMediaType(MediaType* out)
{
    if (!out)
        return E_POINTER;
    std::lock_guard lock(mutex);
    if (!connected)
        return VFW_E_NOT_CONNECTED;
    *out = type;
    return S_OK;
}

HRESULT OutputPin::QueryPinInfo(PinInfo* info)
{
    if (!info)
        return E_POINTER;
    info->filter = filter.lock();
    info->direction = PinDirection::Output;
    info->name = name;
    return info->filter ? S_OK : E_UNEXPECTED;
}

HRESULT OutputPin::QueryDirection(PinDirection* direction)
{
    if (!direction)
        return E_POINTER;
    *direction = PinDirection::Output;
    return S_OK;
}

HRESULT OutputPin::Receive(const MediaSample&)
{
    return E_UNEXPECTED;
}

HRESULT OutputPin::Send(const MediaSample& sample)
{
    std::shared_ptr<IPin> peer;
    {
        std::lock_guard lock(mutex);
        peer = connected;
    }
    return peer ? peer->Receive(sample) : S_FALSE;
}

} // namespace vistrel
