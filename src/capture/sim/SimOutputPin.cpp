#include "capture/sim/SimOutputPin.h"

#include <cstring>

#include "capture/sim/SimFilter.h"
#include "capture/sim/SimulatedDevice.h"

namespace vistrel::sim {
namespace {

bool SameVideoFormat(const MediaType& a, const MediaType& b)
{
    std::int32_t aw = 0, ah = 0, bw = 0, bh = 0;
    return a.majorType == b.majorType && a.subType == b.subType && ReadVideoInfoSize(a, aw, ah) &&
           ReadVideoInfoSize(b, bw, bh) && aw == bw && ah == bh;
}

// A partial type (GUID_NULL fields) asks for any format that agrees with the fields it names.
bool Matches(const MediaType& offered, const MediaType& wanted)
{
    if (wanted.formatType == FORMAT_VideoInfo && wanted.formatBlock.size() >= kVideoInfoHeaderSize)
        return SameVideoFormat(offered, wanted);
    return (wanted.majorType == GUID_NULL || wanted.majorType == offered.majorType) &&
           (wanted.subType == GUID_NULL || wanted.subType == offered.subType) &&
           (wanted.formatType == GUID_NULL || wanted.formatType == offered.formatType);
}

void WriteCaps(const MediaType& type, std::uint8_t* caps)
{
    // VIDEO_STREAM_CONFIG_CAPS: one fixed size per format, frame rate fixed.
    std::memset(caps, 0, SimOutputPin::kStreamCapsSize);
    std::int32_t w = 0, h = 0;
    ReadVideoInfoSize(type, w, h);
    std::int64_t interval = 0;
    if (type.formatBlock.size() >= kAvgTimePerFrameOffset + sizeof interval)
        std::memcpy(&interval, type.formatBlock.data() + kAvgTimePerFrameOffset, sizeof interval);
    const std::int32_t one = 1;
    std::memcpy(caps, &type.formatType, sizeof(Guid));
    for (std::size_t offset : {20u, 28u, 36u, 60u, 68u}) { // input, cropping and output sizes
        std::memcpy(caps + offset, &w, 4);
        std::memcpy(caps + offset + 4, &h, 4);
    }
    for (std::size_t offset : {44u, 48u, 52u, 56u, 76u, 80u})
        std::memcpy(caps + offset, &one, 4);
    std::memcpy(caps + 104, &interval, 8);
    std::memcpy(caps + 112, &interval, 8);
}

} // namespace

SimOutputPin::SimOutputPin(std::weak_ptr<SimFilter> f, const Guid& c, std::string n, std::vector<MediaType> list)
    : PinBase(f, std::move(n), PinDirection::Output), filter(std::move(f)),
      category(c), formats(std::move(list))
{
    for (const auto& mt : formats)
        if (mt.formatType == FORMAT_VideoInfo) {
            current = mt;
            break;
        }
}

HRESULT SimOutputPin::CheckDevice() const
{
    auto f = filter.lock();
    if (!f)
        return E_UNEXPECTED;
    return f->IsRemoved() ? E_DEVICE_NOT_CONNECTED : S_OK;
}

const MediaType* SimOutputPin::Offered(const MediaType& type) const
{
    for (const auto& mt : formats)
        if (mt.formatType == FORMAT_VideoInfo && SameVideoFormat(mt, type))
            return &mt;
    return nullptr;
}

void SimOutputPin::DropConnection()
{
    std::lock_guard lock(mutex);
    DetachLocked();
}

HRESULT SimOutputPin::Connect(const std::shared_ptr<IPin>& receivePin, const MediaType* type)
{
    if (!receivePin)
        return E_POINTER;
    if (HRESULT hr = CheckDevice(); Failed(hr))
        return hr;
    auto f = filter.lock();
    if (f && f->IsRunning())
        return VFW_E_NOT_STOPPED;
    std::vector<MediaType> candidates;
    {
        std::lock_guard lock(mutex);
        if (HasPeerLocked())
            return VFW_E_ALREADY_CONNECTED;
        if (!type || Matches(current, *type))
            candidates.push_back(current);
        for (const auto& mt : formats)
            if (mt.formatType == FORMAT_VideoInfo && !SameVideoFormat(mt, current) && (!type || Matches(mt, *type)))
                candidates.push_back(mt);
    }
    HRESULT last = VFW_E_TYPE_NOT_ACCEPTED;
    for (const auto& mt : candidates) {
        last = receivePin->ReceiveConnection(shared_from_this(), mt);
        if (Succeeded(last)) {
            std::lock_guard lock(mutex);
            AttachLocked(receivePin, mt);
            current = mt;
            return S_OK;
        }
    }
    return Failed(last) ? last : VFW_E_TYPE_NOT_ACCEPTED;
}

std::shared_ptr<IKsPropertySet> SimOutputPin::QueryKsPropertySet()
{
    return std::shared_ptr<IKsPropertySet>(shared_from_this(), static_cast<IKsPropertySet*>(this));
}

std::shared_ptr<IAMStreamConfig> SimOutputPin::QueryStreamConfig()
{
    return std::shared_ptr<IAMStreamConfig>(shared_from_this(), static_cast<IAMStreamConfig*>(this));
}

HRESULT SimOutputPin::Get(const Guid& set, std::uint32_t id, void*, std::uint32_t, void* propertyData,
                          std::uint32_t dataLength, std::uint32_t* bytesReturned)
{
    if (HRESULT hr = CheckDevice(); Failed(hr))
        return hr;
    if (set != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (!propertyData)
        return E_POINTER;
    if (dataLength < sizeof(Guid))
        return E_UNEXPECTED;
    std::memcpy(propertyData, &category, sizeof(Guid));
    if (bytesReturned)
        *bytesReturned = sizeof(Guid);
    return S_OK;
}

HRESULT SimOutputPin::GetNumberOfCapabilities(std::int32_t* count, std::int32_t* capsSize)
{
    if (!count || !capsSize)
        return E_POINTER;
    if (HRESULT hr = CheckDevice(); Failed(hr))
        return hr;
    *count = std::int32_t(formats.size());
    *capsSize = kStreamCapsSize;
    return S_OK;
}

HRESULT SimOutputPin::GetStreamCaps(std::int32_t index, MediaType* type, std::uint8_t* caps)
{
    if (!type || !caps)
        return E_POINTER;
    if (HRESULT hr = CheckDevice(); Failed(hr))
        return hr;
    if (index < 0 || std::size_t(index) >= formats.size())
        return S_FALSE;
    *type = formats[std::size_t(index)];
    WriteCaps(*type, caps);
    return S_OK;
}

HRESULT SimOutputPin::SetFormat(const MediaType& type)
{
    if (HRESULT hr = CheckDevice(); Failed(hr))
        return hr;
    auto f = filter.lock();
    if (f && f->IsRunning())
        return VFW_E_NOT_STOPPED;
    const MediaType* offered = Offered(type);
    if (!offered)
        return VFW_E_TYPE_NOT_ACCEPTED;
    std::lock_guard lock(mutex);
    if (HasPeerLocked())
        return VFW_E_ALREADY_CONNECTED;
    current = *offered;
    return S_OK;
}

HRESULT SimOutputPin::GetFormat(MediaType* type)
{
    if (!type)
        return E_POINTER;
    if (HRESULT hr = CheckDevice(); Failed(hr))
        return hr;
    std::lock_guard lock(mutex);
    *type = current;
    return S_OK;
}

} // namespace vistrel::sim
