#include "capture/linux/SourceOutputPin.h"

#include <cstring>

#include "capture/linux/ErrnoResult.h"

namespace vistrel::lnx {

namespace {

constexpr std::size_t kCapsInputSize = 20;
constexpr std::size_t kCapsMinCroppingSize = 28;
constexpr std::size_t kCapsMaxCroppingSize = 36;
constexpr std::size_t kCapsMinOutputSize = 60;
constexpr std::size_t kCapsMaxOutputSize = 68;
constexpr std::size_t kCapsMinFrameInterval = 104;
constexpr std::size_t kCapsMaxFrameInterval = 112;

template <class T>
void Put(std::uint8_t* caps, std::size_t offset, T value)
{
    std::memcpy(caps + offset, &value, sizeof value);
}

// A partial type (major type or subtype left empty) only narrows the choice.
bool Narrows(const MediaType& wanted, const MediaType& offered)
{
    return (wanted.majorType == GUID_NULL || wanted.majorType == offered.majorType) &&
           (wanted.subType == GUID_NULL || wanted.subType == offered.subType);
}

} // namespace

SourceOutputPin::SourceOutputPin(std::weak_ptr<IBaseFilter> filter, std::string name, const Guid& category,
                             std::vector<PinFormat> formats, std::size_t defaultFormat)
    // Weak: the input pin usually holds this pin too, and a cycle would keep the device open.
    : PinBase(std::move(filter), std::move(name), PinDirection::Output, PeerHold::Weak), category(category),
      formats(std::move(formats)),
      current(defaultFormat < this->formats.size() ? defaultFormat : 0)
{
}

HRESULT SourceOutputPin::Connect(const std::shared_ptr<IPin>& receivePin, const MediaType* type)
{
    if (!receivePin)
        return E_POINTER;
    MediaType offer;
    {
        std::lock_guard lock(mutex);
        if (HasPeerLocked())
            return VFW_E_ALREADY_CONNECTED;
        if (running)
            return VFW_E_NOT_STOPPED;
        if (formats.empty())
            return VFW_E_TYPE_NOT_ACCEPTED;
        std::size_t chosen = current;
        if (type && type->formatType != GUID_NULL) {
            const auto found = FindFormat(formats, *type);
            if (!found)
                return VFW_E_TYPE_NOT_ACCEPTED;
            chosen = *found;
        } else if (type && !Narrows(*type, formats[current].type)) {
            return VFW_E_TYPE_NOT_ACCEPTED;
        }
        current = chosen;
        offer = formats[chosen].type;
    }
    // Outside the lock: the input pin may ask this pin about itself.
    const HRESULT hr = receivePin->ReceiveConnection(shared_from_this(), offer);
    if (Failed(hr))
        return hr;
    std::lock_guard lock(mutex);
    AttachLocked(receivePin, std::move(offer));
    return S_OK;
}

HRESULT SourceOutputPin::Get(const Guid& set, std::uint32_t id, void*, std::uint32_t, void* propertyData,
                           std::uint32_t dataLength, std::uint32_t* bytesReturned)
{
    if (set != AMPROPSETID_Pin)
        return HresultFromWin32(ERROR_SET_NOT_FOUND);
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (!propertyData)
        return E_POINTER;
    if (dataLength < sizeof(Guid))
        return HresultFromWin32(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(propertyData, &category, sizeof(Guid));
    if (bytesReturned)
        *bytesReturned = sizeof(Guid);
    return S_OK;
}

HRESULT SourceOutputPin::GetNumberOfCapabilities(std::int32_t* count, std::int32_t* capsSize)
{
    if (!count || !capsSize)
        return E_POINTER;
    *count = static_cast<std::int32_t>(formats.size());
    *capsSize = kStreamCapsSize;
    return S_OK;
}

HRESULT SourceOutputPin::GetStreamCaps(std::int32_t index, MediaType* type, std::uint8_t* caps)
{
    if (!type)
        return E_POINTER;
    if (index < 0 || static_cast<std::size_t>(index) >= formats.size())
        return S_FALSE;
    const PinFormat& format = formats[static_cast<std::size_t>(index)];
    *type = format.type;
    if (caps) {
        std::memset(caps, 0, kStreamCapsSize);
        std::memcpy(caps, &FORMAT_VideoInfo, sizeof(Guid));
        const std::int32_t size[2] = {format.source.width, format.source.height};
        for (std::size_t offset : {kCapsInputSize, kCapsMinCroppingSize, kCapsMaxCroppingSize, kCapsMinOutputSize,
                                   kCapsMaxOutputSize})
            std::memcpy(caps + offset, size, sizeof size);
        Put(caps, kCapsMinFrameInterval, ReferenceTimePerFrame(format.source));
        Put(caps, kCapsMaxFrameInterval, ReferenceTimePerFrame(format.source));
    }
    return S_OK;
}

HRESULT SourceOutputPin::SetFormat(const MediaType& type)
{
    const auto found = FindFormat(formats, type);
    if (!found)
        return VFW_E_TYPE_NOT_ACCEPTED;
    std::lock_guard lock(mutex);
    if (*found == current)
        return S_OK;
    if (running)
        return VFW_E_NOT_STOPPED;
    if (HasPeerLocked())
        return VFW_E_ALREADY_CONNECTED; // the downstream pin agreed to the other format
    current = *found;
    return S_OK;
}

HRESULT SourceOutputPin::GetFormat(MediaType* type)
{
    if (!type)
        return E_POINTER;
    std::lock_guard lock(mutex);
    if (formats.empty())
        return E_FAIL;
    *type = formats[current].type;
    return S_OK;
}

std::optional<FrameFormat> SourceOutputPin::CurrentSource() const
{
    std::lock_guard lock(mutex);
    if (formats.empty())
        return std::nullopt;
    return formats[current].source;
}

void SourceOutputPin::SetRunning(bool on)
{
    std::lock_guard lock(mutex);
    running = on;
}

void SourceOutputPin::Deliver(std::span<const std::uint8_t> bytes, double time)
{
    const auto connection = CurrentConnection();
    if (!connection.peer)
        return;
    MediaSample sample {bytes.data(), static_cast<std::int32_t>(bytes.size()), time, connection.type.get()};
    connection.peer->Receive(sample);
}

} // namespace vistrel::lnx
