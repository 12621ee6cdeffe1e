#include "capture/runtime/PinBase.h"

namespace vistrel {

PinBase::PinBase(std::weak_ptr<IBaseFilter> filter, std::string name, PinDirection direction, PeerHold hold)
    : filter(std::move(filter)), name(std::move(name)), direction(direction), hold(hold)
{
}

HRESULT PinBase::Connect(const std::shared_ptr<IPin>&, const MediaType*)
{
    return E_UNEXPECTED;
}

HRESULT PinBase::ReceiveConnection(const std::shared_ptr<IPin>&, const MediaType&)
{
    return E_UNEXPECTED;
}

HRESULT PinBase::Receive(const MediaSample&)
{
    return E_UNEXPECTED;
}

HRESULT PinBase::Disconnect()
{
    std::lock_guard lock(mutex);
    if (StreamingLocked())
        return VFW_E_NOT_STOPPED;
    if (!HasPeerLocked())
        return S_FALSE;
    DetachLocked();
    return S_OK;
}

HRESULT PinBase::ConnectedTo(std::shared_ptr<IPin>* pin)
{
    if (!pin)
        return E_POINTER;
    std::lock_guard lock(mutex);
    *pin = peer.lock();
    return *pin ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT PinBase::ConnectionMediaType(MediaType* type)
{
    if (!type)
        return E_POINTER;
    std::lock_guard lock(mutex);
    if (!HasPeerLocked())
        return VFW_E_NOT_CONNECTED;
    *type = *connectionType;
    return S_OK;
}

HRESULT PinBase::QueryPinInfo(PinInfo* info)
{
    if (!info)
        return E_POINTER;
    *info = {filter.lock(), direction, name};
    return info->filter ? S_OK : E_UNEXPECTED;
}

HRESULT PinBase::QueryDirection(PinDirection* out)
{
    if (!out)
        return E_POINTER;
    *out = direction;
    return S_OK;
}

bool PinBase::IsConnected() const
{
    std::lock_guard lock(mutex);
    return HasPeerLocked();
}

PinBase::Connection PinBase::CurrentConnection() const
{
    std::lock_guard lock(mutex);
    Connection connection {peer.lock(), connectionType};
    if (!connection.peer)
        connection.type.reset();
    return connection;
}

void PinBase::AttachLocked(std::shared_ptr<IPin> other, MediaType type)
{
    peer = other;
    if (hold == PeerHold::Strong)
        keptPeer = std::move(other);
    connectionType = std::make_shared<const MediaType>(std::move(type));
}

void PinBase::DetachLocked()
{
    peer.reset();
    keptPeer.reset();
    connectionType.reset();
}

} // namespace vistrel
