#include "capture/dshow/DshowDevices.h"

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <string>
#include <utility>
#include <vector>

#include "capture/dshow/ComGuid.h"
#include "capture/dshow/DshowFilter.h"
#include "capture/dshow/WideText.h"

namespace vistrel::dshow {
namespace {

using Microsoft::WRL::ComPtr;

class DevicePropertyBag final : public vistrel::IPropertyBag {
public:
    explicit DevicePropertyBag(ComPtr<::IPropertyBag> bag) : bag(std::move(bag)) {}

    vistrel::HRESULT Read(const std::string& name, std::string* value) override
    {
        if (!value)
            return E_POINTER;
        VARIANT text;
        VariantInit(&text);
        text.vt = VT_BSTR;
        const std::wstring wideName = WideFromUtf8(name);
        const ::HRESULT hr = bag->Read(wideName.c_str(), &text, nullptr);
        if (SUCCEEDED(hr)) {
            if (text.vt == VT_BSTR && text.bstrVal)
                *value = Utf8FromWide(std::wstring(text.bstrVal, SysStringLen(text.bstrVal)));
            else
                value->clear();
        }
        VariantClear(&text);
        return hr;
    }

private:
    ComPtr<::IPropertyBag> bag;
};

class DeviceMoniker final : public vistrel::IMoniker {
public:
    explicit DeviceMoniker(ComPtr<::IMoniker> moniker) : moniker(std::move(moniker)) {}

    vistrel::HRESULT BindToObject(std::shared_ptr<vistrel::IBaseFilter>* filter) override
    {
        if (!filter)
            return E_POINTER;
        ComPtr<::IBaseFilter> bound;
        const ::HRESULT hr = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, &bound);
        if (FAILED(hr))
            return hr;
        *filter = WrapFilter(std::move(bound));
        return *filter ? S_OK : E_NOINTERFACE;
    }

    vistrel::HRESULT BindToStorage(std::shared_ptr<vistrel::IPropertyBag>* bag) override
    {
        if (!bag)
            return E_POINTER;
        ComPtr<::IPropertyBag> storage;
        const ::HRESULT hr = moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, &storage);
        if (FAILED(hr))
            return hr;
        *bag = std::make_shared<DevicePropertyBag>(std::move(storage));
        return S_OK;
    }

private:
    ComPtr<::IMoniker> moniker;
};

class SystemDeviceEnumerator final : public vistrel::ICreateDevEnum {
public:
    vistrel::HRESULT CreateClassEnumerator(const Guid& category,
                                           std::vector<std::shared_ptr<vistrel::IMoniker>>* devices) override
    {
        if (!devices)
            return E_POINTER;
        devices->clear();
        ComPtr<::ICreateDevEnum> system;
        ::HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_ICreateDevEnum, &system);
        if (FAILED(hr))
            return hr;
        ComPtr<IEnumMoniker> list;
        const GUID id = ToGuid(category);
        hr = system->CreateClassEnumerator(id, &list, 0);
        if (hr != S_OK || !list)
            return FAILED(hr) ? hr : S_FALSE;
        ComPtr<::IMoniker> entry;
        while (list->Next(1, entry.ReleaseAndGetAddressOf(), nullptr) == S_OK)
            devices->push_back(std::make_shared<DeviceMoniker>(entry));
        return devices->empty() ? S_FALSE : S_OK;
    }
};

} // namespace

std::shared_ptr<vistrel::ICreateDevEnum> MakeSystemDeviceEnumerator()
{
    return std::make_shared<SystemDeviceEnumerator>();
}

} // namespace vistrel::dshow
