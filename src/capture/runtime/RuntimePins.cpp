#include "capture/runtime/RuntimePins.h"

namespace vistrel {

InputPin::InputPin(std::weak_ptr<IBaseFilter> filter, std::string name, Accept accept, Deliver deliver)
    : PinBase(std::move(filter), std::move(name), PinDirection::Input), accept(std::move(accept)),
      deliver(std::move(deliver))
{
}

HRESULT InputPin::ReceiveConnection(const std::shared_ptr<IPin>& connector, const MediaType& offered)
{
    if (!connector)
        return E_POINTER;
    std::lock_guard lock(mutex);
    if (HasPeerLocked())
        return VFW_E_ALREADY_CONNECTED;
    if (accept && Failed(accept(offered)))
        return VFW_E_TYPE_NOT_ACCEPTED;
    AttachLocked(connector, offered);
    return S_OK;
}

HRESULT InputPin::Receive(const MediaSample& sample)
{
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    return deliver ? deliver(sample) : S_OK;
}

OutputPin::OutputPin(std::weak_ptr<IBaseFilter> filter, std::string name, CurrentType currentType)
    : PinBase(std::move(filter), std::move(name), PinDirection::Output), currentType(std::move(currentType))
{
}

HRESULT OutputPin::Connect(const std::shared_ptr<IPin>& receivePin, const MediaType* requested)
{
    if (!receivePin)
        return E_POINTER;
    if (IsConnected())
        return VFW_E_ALREADY_CONNECTED;
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
    AttachLocked(receivePin, std::move(offered));
    return S_OK;
}

HRESULT OutputPin::Send(const MediaSample& sample)
{
    const auto peer = CurrentConnection().peer;
    return peer ? peer->Receive(sample) : S_FALSE;
}

} // namespace vistrel
