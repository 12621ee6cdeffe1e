#pragma once
// What every pin shares, whatever its filter: the filter it belongs to, its name and direction, and its
// one connection (the pin at the other end and the type agreed with it). A pin adds only what its own
// direction does: an output pin how it connects, an input pin what it accepts and where samples go.
#include <memory>
#include <mutex>
#include <string>

#include "capture/contract/Filter.h"

namespace vistrel {

class PinBase : public IPin {
public:
    // The calls of the other direction: an input pin is connected to, never from; an output pin neither
    // receives a connection nor samples.
    HRESULT Connect(const std::shared_ptr<IPin>& receivePin, const MediaType* type) override;
    HRESULT ReceiveConnection(const std::shared_ptr<IPin>& connector, const MediaType& type) override;
    HRESULT Receive(const MediaSample& sample) override;

    HRESULT Disconnect() override;
    HRESULT ConnectedTo(std::shared_ptr<IPin>* pin) override;
    HRESULT ConnectionMediaType(MediaType* type) override;
    HRESULT QueryPinInfo(PinInfo* info) override;
    HRESULT QueryDirection(PinDirection* direction) override;

    bool IsConnected() const;

    // The pin at the other end and the agreed type, for a streaming thread; the type is shared with the
    // samples in flight, so a disconnect while one travels leaves it valid. Both null when unconnected.
    struct Connection {
        std::shared_ptr<IPin> peer;
        std::shared_ptr<const MediaType> type;
    };
    Connection CurrentConnection() const;

protected:
    // Weak where the other pin holds this one too and the cycle would keep a device open after the graph
    // lets it go.
    enum class PeerHold { Strong, Weak };

    PinBase(std::weak_ptr<IBaseFilter> filter, std::string name, PinDirection direction,
            PeerHold hold = PeerHold::Strong);

    // With mutex held.
    bool HasPeerLocked() const { return !peer.expired(); }
    void AttachLocked(std::shared_ptr<IPin> other, MediaType type);
    void DetachLocked();
    // A pin whose filter keeps streaming into the connection refuses to let it go (VFW_E_NOT_STOPPED).
    virtual bool StreamingLocked() const { return false; }

    // Guards the connection, and whatever a pin keeps beside it that must change together with it.
    mutable std::mutex mutex;

private:
    const std::weak_ptr<IBaseFilter> filter;
    const std::string name;
    const PinDirection direction;
    const PeerHold hold;

    std::weak_ptr<IPin> peer;
    std::shared_ptr<IPin> keptPeer; // the same pin, when held strongly
    std::shared_ptr<const MediaType> connectionType;
};

} // namespace vistrel
