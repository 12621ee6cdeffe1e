#pragma once
// The simulated scanner behind the platform's own COM interfaces: IBaseFilter (run state), IAMVideoProcAmp,
// IAMCameraControl, IKsControl and IKsTopologyInfo, written from Microsoft's documentation of them. It
// stands in for the Windows UVC driver's filter and has not been checked against that driver; it has no
// pins and streams nothing, so it proves the control paths, not the graph.
#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <memory>

#include "capture/contract/Filter.h"
#include "capture/dshow/KsInterfaces.h"

namespace vistrel::dshow::test {

class ComScannerFace final : public ::IBaseFilter,
                             public ::IAMVideoProcAmp,
                             public ::IKsControl,
                             public ::IKsTopologyInfo {
public:
    explicit ComScannerFace(std::shared_ptr<vistrel::IBaseFilter> device) : device(std::move(device)) {}

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IBaseFilter || iid == IID_IMediaFilter || iid == IID_IPersist)
            *out = static_cast<::IBaseFilter*>(this);
        else if (iid == IID_IAMVideoProcAmp && device->QueryVideoProcAmp())
            *out = static_cast<::IAMVideoProcAmp*>(this);
        else if (iid == IID_IAMCameraControl && device->QueryCameraControl())
            *out = static_cast<::IAMCameraControl*>(&camera);
        else if (iid == __uuidof(::IKsControl) && device->QueryKsControl())
            *out = static_cast<::IKsControl*>(this);
        else if (iid == __uuidof(::IKsTopologyInfo) && device->QueryKsTopologyInfo())
            *out = static_cast<::IKsTopologyInfo*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --references;
        if (left == 0)
            delete this;
        return left;
    }

    // IPersist, IMediaFilter, IBaseFilter
    STDMETHODIMP GetClassID(CLSID* id) override
    {
        if (!id)
            return E_POINTER;
        *id = GUID {};
        return S_OK;
    }
    STDMETHODIMP Stop() override { return device->Stop(); }
    STDMETHODIMP Pause() override { return S_OK; }
    STDMETHODIMP Run(REFERENCE_TIME) override { return device->Run(); }
    STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override
    {
        if (!state)
            return E_POINTER;
        vistrel::FilterState s = vistrel::FilterState::Stopped;
        const HRESULT hr = device->GetState(timeout, &s);
        *state = s == vistrel::FilterState::Running ? State_Running
                 : s == vistrel::FilterState::Paused ? State_Paused
                                                     : State_Stopped;
        return hr;
    }
    STDMETHODIMP SetSyncSource(IReferenceClock*) override { return S_OK; }
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override
    {
        if (!clock)
            return E_POINTER;
        *clock = nullptr;
        return S_OK;
    }
    STDMETHODIMP EnumPins(IEnumPins**) override { return E_NOTIMPL; }
    STDMETHODIMP FindPin(LPCWSTR, ::IPin**) override { return VFW_E_NOT_FOUND; }
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override
    {
        if (!info)
            return E_POINTER;
        *info = FILTER_INFO {};
        lstrcpynW(info->achName, L"Simulated scanner", MAX_FILTER_NAME);
        return S_OK;
    }
    STDMETHODIMP JoinFilterGraph(::IFilterGraph*, LPCWSTR) override { return S_OK; }
    STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

    // IAMVideoProcAmp: the device's own units, passed as they are.
    STDMETHODIMP GetRange(long property, long* minimum, long* maximum, long* step, long* defaultValue,
                          long* capsFlags) override
    {
        return Range(*device->QueryVideoProcAmp(), property, minimum, maximum, step, defaultValue, capsFlags);
    }
    STDMETHODIMP Set(long property, long value, long flags) override
    {
        return device->QueryVideoProcAmp()->Set(property, value, flags);
    }
    STDMETHODIMP Get(long property, long* value, long* flags) override
    {
        return Value(*device->QueryVideoProcAmp(), property, value, flags);
    }

    // IKsControl
    STDMETHODIMP KsProperty(PKSPROPERTY property, ULONG length, LPVOID data, ULONG dataLength, ULONG* returned) override
    {
        if (!property || length < sizeof(::KSP_NODE))
            return E_INVALIDARG;
        vistrel::KSP_NODE request;
        std::memcpy(&request, property, sizeof request);
        std::uint32_t bytes = 0;
        const HRESULT hr = device->QueryKsControl()->KsProperty(request, data, dataLength, &bytes);
        if (returned)
            *returned = bytes;
        return hr;
    }
    STDMETHODIMP KsMethod(PKSMETHOD, ULONG, LPVOID, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP KsEvent(PKSEVENT, ULONG, LPVOID, ULONG, ULONG*) override { return E_NOTIMPL; }

    // IKsTopologyInfo
    STDMETHODIMP get_NumCategories(DWORD* count) override { return Zero(count); }
    STDMETHODIMP get_Category(DWORD, GUID*) override { return E_INVALIDARG; }
    STDMETHODIMP get_NumConnections(DWORD* count) override { return Zero(count); }
    STDMETHODIMP get_ConnectionInfo(DWORD, KSTOPOLOGY_CONNECTION*) override { return E_INVALIDARG; }
    STDMETHODIMP get_NodeName(DWORD, WCHAR*, DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP get_NumNodes(DWORD* count) override
    {
        if (!count)
            return E_POINTER;
        std::uint32_t n = 0;
        const HRESULT hr = device->QueryKsTopologyInfo()->get_NumNodes(&n);
        *count = n;
        return hr;
    }
    STDMETHODIMP get_NodeType(DWORD node, GUID* type) override
    {
        if (!type)
            return E_POINTER;
        vistrel::Guid id;
        const HRESULT hr = device->QueryKsTopologyInfo()->get_NodeType(node, &id);
        std::memcpy(type, &id, sizeof *type);
        return hr;
    }
    STDMETHODIMP CreateNodeInstance(DWORD, REFIID, void**) override { return E_NOTIMPL; }

private:
    // IAMCameraControl's methods have the same names and shapes as IAMVideoProcAmp's, so it is a part of
    // its own that shares the filter's identity and count.
    class CameraControl final : public ::IAMCameraControl {
    public:
        explicit CameraControl(ComScannerFace& outer) : outer(outer) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return outer.QueryInterface(iid, out); }
        STDMETHODIMP_(ULONG) AddRef() override { return outer.AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return outer.Release(); }
        STDMETHODIMP GetRange(long property, long* minimum, long* maximum, long* step, long* defaultValue,
                              long* capsFlags) override
        {
            return Range(*outer.device->QueryCameraControl(), property, minimum, maximum, step, defaultValue,
                         capsFlags);
        }
        STDMETHODIMP Set(long property, long value, long flags) override
        {
            return outer.device->QueryCameraControl()->Set(property, value, flags);
        }
        STDMETHODIMP Get(long property, long* value, long* flags) override
        {
            return Value(*outer.device->QueryCameraControl(), property, value, flags);
        }

    private:
        ComScannerFace& outer;
    };

    ~ComScannerFace() = default;

    static HRESULT Zero(DWORD* count)
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    static HRESULT Range(vistrel::IAMPropertyFamily& family, long property, long* minimum, long* maximum, long* step,
                         long* defaultValue, long* capsFlags)
    {
        std::int32_t v[5] = {};
        const HRESULT hr = family.GetRange(property, &v[0], &v[1], &v[2], &v[3], &v[4]);
        long* out[5] = {minimum, maximum, step, defaultValue, capsFlags};
        for (int i = 0; i < 5; ++i)
            if (out[i])
                *out[i] = v[i];
        return hr;
    }
    static HRESULT Value(vistrel::IAMPropertyFamily& family, long property, long* value, long* flags)
    {
        std::int32_t v = 0, f = 0;
        const HRESULT hr = family.Get(property, &v, &f);
        if (value)
            *value = v;
        if (flags)
            *flags = f;
        return hr;
    }

    std::shared_ptr<vistrel::IBaseFilter> device;
    CameraControl camera {*this};
    std::atomic<ULONG> references {1};
};

} // namespace vistrel::dshow::test
