// The DLL around the simulated scanner's filter: its class factory, one device model per registered
// device shared by every instance in the process (as one piece of hardware is), and registration under
// the video input device category with the "DevicePath" the system's device enumerator hands out.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "capture/dshow/ComObject.h"
#include "capture/dshow/WideText.h"
#include "capture/sim/SimulatedDevice.h"
#include "ScannerFilter.h"
#include "ScannerRemote.h"

using Microsoft::WRL::ComPtr;
using namespace vistrel::dshow::test;
using vistrel::dshow::ComObject;

namespace {

HMODULE module = nullptr;
std::atomic<long> locks {0};

struct Registered {
    const CLSID& id;
    vistrel::sim::DeviceOptions::Kind kind;
    const char* path;
    const wchar_t* name;
};

const Registered kDevices[] = {
    {kClsidSimulatedScanner, vistrel::sim::DeviceOptions::Kind::Scanner, kScannerDevicePath, kScannerFriendlyName},
    {kClsidSimulatedCamera, vistrel::sim::DeviceOptions::Kind::Camera, kCameraDevicePath, kCameraFriendlyName},
};

const Registered* Find(REFCLSID id)
{
    for (const Registered& device : kDevices)
        if (device.id == id)
            return &device;
    return nullptr;
}

struct Hardware {
    std::shared_ptr<vistrel::sim::SimulatedDevice> device;
    std::shared_ptr<DeliveryTally> tally = std::make_shared<DeliveryTally>();
    std::shared_ptr<ButtonLine> button = std::make_shared<ButtonLine>();
};

Hardware& HardwareFor(const Registered& registered)
{
    static std::mutex mutex;
    static Hardware hardware[std::size(kDevices)];
    const std::lock_guard lock(mutex);
    Hardware& one = hardware[&registered - kDevices];
    auto& device = one.device;
    if (!device) {
        vistrel::sim::DeviceOptions options;
        options.kind = registered.kind;
        options.devicePath = registered.path;
        options.friendlyName = vistrel::dshow::Utf8FromWide(registered.name);
        device = std::make_shared<vistrel::sim::SimulatedDevice>(options);
    }
    return one;
}

class Factory final : public ComObject<IClassFactory> {
public:
    explicit Factory(const Registered& registered) : registered(registered) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        ComPtr<::IBaseFilter> filter;
        Hardware& hardware = HardwareFor(registered);
        filter.Attach(new ScannerFilter(registered.id, hardware.device, hardware.tally, hardware.button));
        return filter->QueryInterface(iid, out);
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        locks += lock ? 1 : -1;
        return S_OK;
    }

private:
    ~Factory() override = default;
    const Registered& registered;
};

std::wstring GuidText(REFGUID id)
{
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    return text;
}

HRESULT SetText(HKEY key, const wchar_t* name, const std::wstring& value)
{
    const LONG result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                       DWORD((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(result);
}

// HKEY_CLASSES_ROOT\CLSID\{id}: the name, and this DLL as the in-process server, usable from any apartment.
HRESULT RegisterClass(const Registered& registered)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    const std::wstring key = L"CLSID\\" + GuidText(registered.id);
    HKEY classKey = nullptr;
    if (LONG result = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &classKey, nullptr))
        return HRESULT_FROM_WIN32(result);
    HRESULT hr = SetText(classKey, nullptr, registered.name);
    HKEY server = nullptr;
    if (SUCCEEDED(hr))
        hr = HRESULT_FROM_WIN32(RegCreateKeyExW(classKey, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &server, nullptr));
    if (SUCCEEDED(hr)) {
        hr = SetText(server, nullptr, path);
        if (SUCCEEDED(hr))
            hr = SetText(server, L"ThreadingModel", L"Both");
        RegCloseKey(server);
    }
    RegCloseKey(classKey);
    return hr;
}

HRESULT RegisterDevice(IFilterMapper2& mapper, const Registered& registered)
{
    const REGPINTYPES types[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL}};
    const REGFILTERPINS2 pins[] = {
        {REG_PINFLAG_B_OUTPUT, 1, 1, types, 0, nullptr, &PIN_CATEGORY_CAPTURE},
        {REG_PINFLAG_B_OUTPUT, 1, 1, types, 0, nullptr, &PIN_CATEGORY_STILL},
    };
    REGFILTER2 filter {};
    filter.dwVersion = 2;
    filter.dwMerit = MERIT_DO_NOT_USE;
    filter.cPins2 = registered.kind == vistrel::sim::DeviceOptions::Kind::Scanner ? 2 : 1;
    filter.rgPins2 = pins;
    ComPtr<IMoniker> moniker;
    HRESULT hr = mapper.RegisterFilter(registered.id, registered.name, &moniker, &CLSID_VideoInputDeviceCategory,
                                       registered.name, &filter);
    if (FAILED(hr) || !moniker)
        return FAILED(hr) ? hr : E_FAIL;
    // The device path, as the system's enumerator reads it for a device of the video class.
    ComPtr<IPropertyBag> storage;
    hr = moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, &storage);
    if (FAILED(hr))
        return hr;
    VARIANT path;
    VariantInit(&path);
    path.vt = VT_BSTR;
    path.bstrVal = SysAllocString(vistrel::dshow::WideFromUtf8(registered.path).c_str());
    hr = storage->Write(L"DevicePath", &path);
    VariantClear(&path);
    return hr;
}

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

__declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID id, REFIID iid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    const Registered* registered = Find(id);
    if (!registered)
        return CLASS_E_CLASSNOTAVAILABLE;
    ComPtr<IClassFactory> factory;
    factory.Attach(new Factory(*registered));
    return factory->QueryInterface(iid, out);
}

// The device models live as long as the process, so the DLL stays.
__declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return S_FALSE;
}

__declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer()
{
    ComPtr<IFilterMapper2> mapper;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2, &mapper);
    for (const Registered& registered : kDevices) {
        if (SUCCEEDED(hr))
            hr = RegisterClass(registered);
        if (SUCCEEDED(hr))
            hr = RegisterDevice(*mapper.Get(), registered);
    }
    return hr;
}

__declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    ComPtr<IFilterMapper2> mapper;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2, &mapper);
    if (FAILED(hr))
        return hr;
    for (const Registered& registered : kDevices) {
        mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, registered.name, registered.id);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + GuidText(registered.id)).c_str());
    }
    return S_OK;
}

} // extern "C"
