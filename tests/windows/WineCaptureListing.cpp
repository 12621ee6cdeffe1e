// What Wine's own capture stack offers for a real video device, and what the engine makes of it. Run
// under Wine where a V4L2 device exists (the hardware bench's guest, with the emulated scanner on the
// kernel's uvcvideo): it lists every video input device the system enumerator hands out, the
// properties of its moniker, the interfaces of its filter and its pins, then lets the engine search
// for the scanner. Wine's capture filter has no extension unit and no "DevicePath", so the engine must
// pass the device by as unidentified: neither crash nor hang.
//
// Exit status: 0 when at least one device was listed and the engine took none; 1 when the engine took
// a device; 2 when Wine listed no device; 3 when the search hung.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "capture/contract/Diagnostics.h"
#include "capture/dshow/DshowPlatform.h"
#include "capture/dshow/KsInterfaces.h"
#include "capture/dshow/WideText.h"
#include "capture/engine/CaptureEngine.h"
#include "capture/engine/FormatSelection.h"

namespace {

using Microsoft::WRL::ComPtr;
using vistrel::dshow::Utf8FromWide;

constexpr auto kSearchLimit = std::chrono::seconds(120);
constexpr int kExitTaken = 1;
constexpr int kExitNoDevice = 2;
constexpr int kExitHung = 3;

std::string Text(const GUID& id)
{
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    return Utf8FromWide(text);
}

// A subtype by its four-character code where it has one (MJPG, YUY2), else by its id.
std::string FourCc(const GUID& subtype)
{
    std::string code;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = char((subtype.Data1 >> shift) & 0xFF);
        if (c < 0x20 || c >= 0x7F)
            return subtype == MEDIASUBTYPE_RGB32 ? "RGB32" : subtype == MEDIASUBTYPE_RGB24 ? "RGB24" : Text(subtype);
        code += c;
    }
    return code;
}

void ListProperty(IPropertyBag& bag, const wchar_t* name)
{
    VARIANT value;
    VariantInit(&value);
    const HRESULT hr = bag.Read(name, &value, nullptr);
    std::string shown;
    if (SUCCEEDED(hr) && value.vt == VT_BSTR && value.bstrVal)
        shown = "\"" + Utf8FromWide(value.bstrVal) + "\"";
    else if (SUCCEEDED(hr) && (value.vt == VT_I4 || value.vt == VT_UI4))
        shown = std::to_string(value.lVal);
    else if (SUCCEEDED(hr))
        shown = "(variant type " + std::to_string(value.vt) + ")";
    else
        shown = "absent (0x" + [&] { char b[9]; std::snprintf(b, sizeof b, "%08lX", static_cast<unsigned long>(hr)); return std::string(b); }() + ")";
    std::printf("    %-14s %s\n", Utf8FromWide(name).c_str(), shown.c_str());
    VariantClear(&value);
}

void ListInterface(IBaseFilter& filter, const char* name, REFIID iid)
{
    ComPtr<IUnknown> found;
    const HRESULT hr = filter.QueryInterface(iid, &found);
    std::printf("    %-20s %s (0x%08lX)\n", name, SUCCEEDED(hr) ? "yes" : "no", static_cast<unsigned long>(hr));
}

void ListPins(IBaseFilter& filter)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter.EnumPins(&pins))) {
        std::printf("    no pin list\n");
        return;
    }
    ComPtr<IPin> pin;
    while (pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_INFO info {};
        pin->QueryPinInfo(&info);
        if (info.pFilter)
            info.pFilter->Release();
        std::string category = "(no category)";
        ComPtr<IKsPropertySet> properties;
        if (SUCCEEDED(pin.As(&properties))) {
            GUID id {};
            DWORD returned = 0;
            if (SUCCEEDED(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &id, sizeof id, &returned)))
                category = id == PIN_CATEGORY_CAPTURE ? "capture" : id == PIN_CATEGORY_STILL ? "still"
                         : id == PIN_CATEGORY_PREVIEW ? "preview" : Text(id);
        }
        std::printf("    pin \"%s\" %s, category %s\n", Utf8FromWide(info.achName).c_str(),
                    info.dir == PINDIR_OUTPUT ? "output" : "input", category.c_str());
        ComPtr<IAMVideoControl> control;
        if (SUCCEEDED(filter.QueryInterface(IID_IAMVideoControl, &control))) {
            long caps = 0;
            const HRESULT hr = control->GetCaps(pin.Get(), &caps);
            std::printf("      IAMVideoControl::GetCaps 0x%08lX, flags 0x%lX\n", static_cast<unsigned long>(hr), caps);
        }
        ComPtr<IAMStreamConfig> config;
        if (FAILED(pin.As(&config))) {
            std::printf("      no IAMStreamConfig\n");
            continue;
        }
        int count = 0, size = 0;
        config->GetNumberOfCapabilities(&count, &size);
        for (int i = 0; i < count; ++i) {
            AM_MEDIA_TYPE* type = nullptr;
            VIDEO_STREAM_CONFIG_CAPS caps {};
            if (FAILED(config->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps))) || !type)
                continue;
            std::printf("      format %d: %s %ldx%ld\n", i, FourCc(type->subtype).c_str(), caps.MaxOutputSize.cx,
                        caps.MaxOutputSize.cy);
            if (type->pbFormat)
                CoTaskMemFree(type->pbFormat);
            if (type->pUnk)
                type->pUnk->Release();
            CoTaskMemFree(type);
        }
    }
}

int ListDevices()
{
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum, &devices)))
        return 0;
    ComPtr<IEnumMoniker> list;
    const HRESULT listed = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &list, 0);
    std::printf("video input devices: 0x%08lX\n", static_cast<unsigned long>(listed));
    if (listed != S_OK)
        return 0;
    int count = 0;
    ComPtr<IMoniker> moniker;
    while (list->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ++count;
        std::printf("device %d\n", count);
        ComPtr<IPropertyBag> bag;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, &bag)))
            for (const wchar_t* name : {L"FriendlyName", L"Description", L"DevicePath", L"CLSID", L"VFWIndex"})
                ListProperty(*bag.Get(), name);
        ComPtr<IBaseFilter> filter;
        const HRESULT bound = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, &filter);
        std::printf("    bound to its filter: 0x%08lX\n", static_cast<unsigned long>(bound));
        if (FAILED(bound))
            continue;
        CLSID id {};
        filter->GetClassID(&id);
        std::printf("    filter class     %s\n", Text(id).c_str());
        ListInterface(*filter.Get(), "IAMVideoProcAmp", IID_IAMVideoProcAmp);
        ListInterface(*filter.Get(), "IAMCameraControl", IID_IAMCameraControl);
        ListInterface(*filter.Get(), "IAMVideoControl", IID_IAMVideoControl);
        ListInterface(*filter.Get(), "IKsTopologyInfo", __uuidof(IKsTopologyInfo));
        ListInterface(*filter.Get(), "IKsControl", __uuidof(IKsControl));
        ListInterface(*filter.Get(), "IKsPropertySet", IID_IKsPropertySet);
        ComPtr<IAMVideoProcAmp> amp;
        if (SUCCEEDED(filter.As(&amp))) {
            long minimum = 0, maximum = 0, step = 0, defaultValue = 0, flags = 0, value = 0;
            const HRESULT range = amp->GetRange(VideoProcAmp_Brightness, &minimum, &maximum, &step, &defaultValue, &flags);
            const HRESULT now = amp->Get(VideoProcAmp_Brightness, &value, &flags);
            std::printf("    brightness: range 0x%08lX %ld..%ld default %ld, value 0x%08lX %ld\n",
                        static_cast<unsigned long>(range), minimum, maximum, defaultValue,
                        static_cast<unsigned long>(now), value);
        }
        ListPins(*filter.Get());
    }
    return count;
}

class SearchHost final : public vistrel::ICaptureHost {
public:
    std::int32_t CurrentFilmSize() override { return vistrel::kFilm135; }
    void PreviewArea(std::int32_t* width, std::int32_t* height) override { *width = *height = 0; }
    vistrel::IVideoSurface* PreviewSurface() override { return nullptr; }
    void SetPreviewBackgroundBlack() override {}
    void ReportError(const vistrel::Reason&) override {}
    std::int32_t OnStillFrame(double, const std::uint8_t*, std::int32_t) override { return 0; }
    vistrel::HRESULT RefreshPropertyControls(const vistrel::CameraProperty&) override { return S_OK; }
    vistrel::HRESULT RefreshAllPropertyControls() override { return S_OK; }
    void CheckDefaultCustom(bool) override {}
};

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    // A search that never returns is a finding of its own, not a stalled bench.
    std::thread([] {
        std::this_thread::sleep_for(kSearchLimit);
        std::printf("the listing or the engine's search hung\n");
        ExitProcess(kExitHung);
    }).detach();

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    vistrel::SetDiagnosticSink([](vistrel::DiagnosticTopic, const std::string& line) {
        std::printf("engine: %s\n", line.c_str());
    });
    const int listed = ListDevices();

    SearchHost host;
    bool taken = false;
    std::string path;
    {
        vistrel::CaptureEngine engine(vistrel::dshow::MakeDshowPlatform(), host);
        std::shared_ptr<vistrel::IBaseFilter> found;
        const auto start = std::chrono::steady_clock::now();
        taken = engine.FindScanner(nullptr, &path, &found);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        std::printf("engine's search: %s (%lld ms)\n", taken ? ("took \"" + path + "\"").c_str() : "no scanner",
                    static_cast<long long>(took.count()));
    }
    CoUninitialize();
    if (listed == 0)
        return kExitNoDevice;
    return taken ? kExitTaken : 0;
}
