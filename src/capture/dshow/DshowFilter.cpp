#include "capture/dshow/DshowFilter.h"


#include <string>
#include <utility>
#include <vector>

#include "capture/dshow/ComGuid.h"
#include "capture/dshow/KsInterfaces.h"
#include "capture/dshow/MediaTypes.h"
#include "capture/dshow/WideText.h"

namespace vistrel::dshow {
namespace {

using Microsoft::WRL::ComPtr;

// IAMVideoProcAmp and IAMCameraControl have the same three calls with the same units as the contract.
template <typename Native, typename Contract>
class PropertyFamily final : public Contract {
public:
    explicit PropertyFamily(ComPtr<Native> native) : native(std::move(native)) {}

    vistrel::HRESULT GetRange(std::int32_t property, std::int32_t* minimum, std::int32_t* maximum, std::int32_t* step,
                              std::int32_t* defaultValue, std::int32_t* capsFlags) override
    {
        long values[5] = {};
        const ::HRESULT hr = native->GetRange(property, &values[0], &values[1], &values[2], &values[3], &values[4]);
        std::int32_t* out[5] = {minimum, maximum, step, defaultValue, capsFlags};
        if (SUCCEEDED(hr))
            for (int i = 0; i < 5; ++i)
                if (out[i])
                    *out[i] = std::int32_t(values[i]);
        return hr;
    }
    vistrel::HRESULT Set(std::int32_t property, std::int32_t value, std::int32_t flags) override
    {
        return native->Set(property, value, flags);
    }
    vistrel::HRESULT Get(std::int32_t property, std::int32_t* value, std::int32_t* flags) override
    {
        long v = 0, f = 0;
        const ::HRESULT hr = native->Get(property, &v, &f);
        if (SUCCEEDED(hr)) {
            if (value)
                *value = std::int32_t(v);
            if (flags)
                *flags = std::int32_t(f);
        }
        return hr;
    }

private:
    ComPtr<Native> native;
};

class VideoControl final : public vistrel::IAMVideoControl {
public:
    explicit VideoControl(ComPtr<::IAMVideoControl> native) : native(std::move(native)) {}
    vistrel::HRESULT SetMode(const std::shared_ptr<vistrel::IPin>& pin, std::int32_t mode) override
    {
        ::IPin* nativePin = pin ? NativePin(*pin) : nullptr;
        return nativePin ? native->SetMode(nativePin, mode) : E_POINTER;
    }
    vistrel::HRESULT GetMode(const std::shared_ptr<vistrel::IPin>& pin, std::int32_t* mode) override
    {
        ::IPin* nativePin = pin ? NativePin(*pin) : nullptr;
        if (!nativePin || !mode)
            return E_POINTER;
        long value = 0;
        const ::HRESULT hr = native->GetMode(nativePin, &value);
        *mode = std::int32_t(value);
        return hr;
    }

private:
    ComPtr<::IAMVideoControl> native;
};

class KsControl final : public vistrel::IKsControl {
public:
    explicit KsControl(ComPtr<::IKsControl> native) : native(std::move(native)) {}
    vistrel::HRESULT KsProperty(const vistrel::KSP_NODE& property, void* data, std::uint32_t length,
                                std::uint32_t* bytesReturned) override
    {
        static_assert(sizeof(::KSP_NODE) == sizeof(vistrel::KSP_NODE));
        ::KSP_NODE request {};
        std::memcpy(&request, &property, sizeof request);
        ULONG returned = 0;
        const ::HRESULT hr = native->KsProperty(&request.Property, sizeof request, data, length, &returned);
        if (bytesReturned)
            *bytesReturned = returned;
        return hr;
    }

private:
    ComPtr<::IKsControl> native;
};

class KsTopologyInfo final : public vistrel::IKsTopologyInfo {
public:
    explicit KsTopologyInfo(ComPtr<::IKsTopologyInfo> native) : native(std::move(native)) {}
    vistrel::HRESULT get_NumNodes(std::uint32_t* count) override
    {
        DWORD n = 0;
        const ::HRESULT hr = native->get_NumNodes(&n);
        if (count)
            *count = n;
        return hr;
    }
    vistrel::HRESULT get_NodeType(std::uint32_t node, Guid* type) override
    {
        GUID id {};
        const ::HRESULT hr = native->get_NodeType(node, &id);
        if (type)
            *type = FromGuid(id);
        return hr;
    }

private:
    ComPtr<::IKsTopologyInfo> native;
};

class PinCategory final : public vistrel::IKsPropertySet {
public:
    explicit PinCategory(ComPtr<::IKsPropertySet> native) : native(std::move(native)) {}
    vistrel::HRESULT Get(const Guid& set, std::uint32_t id, void* instanceData, std::uint32_t instanceLength,
                         void* propertyData, std::uint32_t dataLength, std::uint32_t* bytesReturned) override
    {
        DWORD returned = 0;
        const ::HRESULT hr = native->Get(ToGuid(set), id, instanceData, instanceLength, propertyData, dataLength, &returned);
        if (bytesReturned)
            *bytesReturned = returned;
        return hr;
    }

private:
    ComPtr<::IKsPropertySet> native;
};

class StreamConfig final : public vistrel::IAMStreamConfig {
public:
    explicit StreamConfig(ComPtr<::IAMStreamConfig> native) : native(std::move(native)) {}
    vistrel::HRESULT GetNumberOfCapabilities(std::int32_t* count, std::int32_t* capsSize) override
    {
        int n = 0, size = 0;
        const ::HRESULT hr = native->GetNumberOfCapabilities(&n, &size);
        if (count)
            *count = n;
        if (capsSize)
            *capsSize = size;
        return hr;
    }
    vistrel::HRESULT GetStreamCaps(std::int32_t index, vistrel::MediaType* type, std::uint8_t* caps) override
    {
        AM_MEDIA_TYPE* native_type = nullptr;
        const ::HRESULT hr = native->GetStreamCaps(index, &native_type, caps);
        if (SUCCEEDED(hr) && native_type) {
            if (type)
                *type = FromNativeType(*native_type);
            DeleteNativeType(native_type);
        }
        return hr;
    }
    vistrel::HRESULT SetFormat(const vistrel::MediaType& type) override
    {
        NativeMediaType native_type(type);
        return native->SetFormat(native_type.get());
    }
    vistrel::HRESULT GetFormat(vistrel::MediaType* type) override
    {
        AM_MEDIA_TYPE* native_type = nullptr;
        const ::HRESULT hr = native->GetFormat(&native_type);
        if (SUCCEEDED(hr) && native_type) {
            if (type)
                *type = FromNativeType(*native_type);
            DeleteNativeType(native_type);
        }
        return hr;
    }

private:
    ComPtr<::IAMStreamConfig> native;
};

template <typename Native>
ComPtr<Native> Query(IUnknown* object, const IID& iid)
{
    ComPtr<Native> out;
    if (object)
        object->QueryInterface(iid, reinterpret_cast<void**>(out.GetAddressOf()));
    return out;
}

class Pin;

class Filter final : public vistrel::IBaseFilter, public std::enable_shared_from_this<Filter> {
public:
    explicit Filter(ComPtr<::IBaseFilter> native) : native(std::move(native)) {}

    ::IBaseFilter* Native() const { return native.Get(); }

    vistrel::HRESULT EnumPins(std::vector<std::shared_ptr<vistrel::IPin>>* pins) override;
    vistrel::HRESULT JoinFilterGraph(vistrel::IFilterGraph*, const std::string&) override
    {
        return S_OK; // the platform's graph joins its filters itself
    }
    std::string Name() const override
    {
        FILTER_INFO info {};
        if (FAILED(native->QueryFilterInfo(&info)))
            return {};
        if (info.pGraph)
            info.pGraph->Release();
        return Utf8FromWide(info.achName);
    }
    vistrel::HRESULT Run() override { return native->Run(0); }
    vistrel::HRESULT Stop() override { return native->Stop(); }
    vistrel::HRESULT GetState(std::uint32_t timeoutMs, vistrel::FilterState* state) override
    {
        FILTER_STATE s = State_Stopped;
        const ::HRESULT hr = native->GetState(timeoutMs, &s);
        if (state)
            *state = s == State_Running  ? vistrel::FilterState::Running
                     : s == State_Paused ? vistrel::FilterState::Paused
                                         : vistrel::FilterState::Stopped;
        return hr;
    }

    std::shared_ptr<vistrel::IKsControl> QueryKsControl() override
    {
        auto ks = Query<::IKsControl>(native.Get(), __uuidof(::IKsControl));
        return ks ? std::make_shared<KsControl>(std::move(ks)) : nullptr;
    }
    std::shared_ptr<vistrel::IKsTopologyInfo> QueryKsTopologyInfo() override
    {
        auto topology = Query<::IKsTopologyInfo>(native.Get(), __uuidof(::IKsTopologyInfo));
        return topology ? std::make_shared<KsTopologyInfo>(std::move(topology)) : nullptr;
    }
    std::shared_ptr<vistrel::IAMVideoProcAmp> QueryVideoProcAmp() override
    {
        auto amp = Query<::IAMVideoProcAmp>(native.Get(), IID_IAMVideoProcAmp);
        return amp ? std::make_shared<PropertyFamily<::IAMVideoProcAmp, vistrel::IAMVideoProcAmp>>(std::move(amp)) : nullptr;
    }
    std::shared_ptr<vistrel::IAMCameraControl> QueryCameraControl() override
    {
        auto camera = Query<::IAMCameraControl>(native.Get(), IID_IAMCameraControl);
        return camera ? std::make_shared<PropertyFamily<::IAMCameraControl, vistrel::IAMCameraControl>>(std::move(camera))
                      : nullptr;
    }
    std::shared_ptr<vistrel::IAMVideoControl> QueryVideoControl() override
    {
        auto control = Query<::IAMVideoControl>(native.Get(), IID_IAMVideoControl);
        return control ? std::make_shared<VideoControl>(std::move(control)) : nullptr;
    }

private:
    ComPtr<::IBaseFilter> native;
};

class Pin final : public vistrel::IPin {
public:
    Pin(std::shared_ptr<Filter> owner, ComPtr<::IPin> native) : owner(std::move(owner)), native(std::move(native)) {}

    ::IPin* Native() const { return native.Get(); }

    vistrel::HRESULT Connect(const std::shared_ptr<vistrel::IPin>& receivePin, const vistrel::MediaType* type) override
    {
        ::IPin* other = receivePin ? NativePin(*receivePin) : nullptr;
        if (!other)
            return E_POINTER;
        if (!type)
            return native->Connect(other, nullptr);
        NativeMediaType nativeType(*type);
        return native->Connect(other, nativeType.get());
    }
    vistrel::HRESULT ReceiveConnection(const std::shared_ptr<vistrel::IPin>& connector, const vistrel::MediaType& type) override
    {
        ::IPin* other = connector ? NativePin(*connector) : nullptr;
        if (!other)
            return E_POINTER;
        NativeMediaType nativeType(type);
        return native->ReceiveConnection(other, nativeType.get());
    }
    vistrel::HRESULT Disconnect() override { return native->Disconnect(); }
    vistrel::HRESULT ConnectedTo(std::shared_ptr<vistrel::IPin>* pin) override
    {
        ComPtr<::IPin> other;
        const ::HRESULT hr = native->ConnectedTo(&other);
        if (SUCCEEDED(hr) && pin)
            *pin = WrapPin(other);
        return hr;
    }
    vistrel::HRESULT ConnectionMediaType(vistrel::MediaType* type) override
    {
        AM_MEDIA_TYPE mt {};
        const ::HRESULT hr = native->ConnectionMediaType(&mt);
        if (SUCCEEDED(hr)) {
            if (type)
                *type = FromNativeType(mt);
            FreeNativeType(mt);
        }
        return hr;
    }
    vistrel::HRESULT QueryPinInfo(vistrel::PinInfo* info) override
    {
        PIN_INFO pinInfo {};
        const ::HRESULT hr = native->QueryPinInfo(&pinInfo);
        if (FAILED(hr))
            return hr;
        ComPtr<::IBaseFilter> filter;
        filter.Attach(pinInfo.pFilter);
        if (info) {
            info->filter = owner ? std::static_pointer_cast<vistrel::IBaseFilter>(owner) : WrapFilter(filter);
            info->direction = pinInfo.dir == PINDIR_OUTPUT ? PinDirection::Output : PinDirection::Input;
            info->name = Utf8FromWide(pinInfo.achName);
        }
        return hr;
    }
    vistrel::HRESULT QueryDirection(PinDirection* direction) override
    {
        PIN_DIRECTION dir = PINDIR_INPUT;
        const ::HRESULT hr = native->QueryDirection(&dir);
        if (direction)
            *direction = dir == PINDIR_OUTPUT ? PinDirection::Output : PinDirection::Input;
        return hr;
    }
    vistrel::HRESULT Receive(const vistrel::MediaSample&) override
    {
        return E_NOTIMPL; // samples travel between the platform's own pins
    }
    std::shared_ptr<vistrel::IKsPropertySet> QueryKsPropertySet() override
    {
        auto set = Query<::IKsPropertySet>(native.Get(), IID_IKsPropertySet);
        return set ? std::make_shared<PinCategory>(std::move(set)) : nullptr;
    }
    std::shared_ptr<vistrel::IAMStreamConfig> QueryStreamConfig() override
    {
        auto config = Query<::IAMStreamConfig>(native.Get(), IID_IAMStreamConfig);
        return config ? std::make_shared<StreamConfig>(std::move(config)) : nullptr;
    }

    static std::shared_ptr<vistrel::IPin> WrapPin(ComPtr<::IPin> pin)
    {
        return pin ? std::make_shared<Pin>(nullptr, std::move(pin)) : nullptr;
    }

private:
    std::shared_ptr<Filter> owner;
    ComPtr<::IPin> native;
};

vistrel::HRESULT Filter::EnumPins(std::vector<std::shared_ptr<vistrel::IPin>>* pins)
{
    if (!pins)
        return E_POINTER;
    pins->clear();
    ComPtr<IEnumPins> list;
    const ::HRESULT hr = native->EnumPins(&list);
    if (FAILED(hr))
        return hr;
    ComPtr<::IPin> pin;
    while (list->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK)
        pins->push_back(std::make_shared<Pin>(shared_from_this(), pin));
    return S_OK;
}

} // namespace

std::shared_ptr<vistrel::IBaseFilter> WrapFilter(ComPtr<::IBaseFilter> filter)
{
    return filter ? std::make_shared<Filter>(std::move(filter)) : nullptr;
}

std::shared_ptr<vistrel::IPin> WrapPin(ComPtr<::IPin> pin)
{
    return Pin::WrapPin(std::move(pin));
}

::IBaseFilter* NativeFilter(const vistrel::IBaseFilter& filter)
{
    const auto* ours = dynamic_cast<const Filter*>(&filter);
    return ours ? ours->Native() : nullptr;
}

::IPin* NativePin(const vistrel::IPin& pin)
{
    const auto* ours = dynamic_cast<const Pin*>(&pin);
    return ours ? ours->Native() : nullptr;
}

} // namespace vistrel::dshow
