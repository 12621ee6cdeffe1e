// Wine's own capture filter in front of a real scanner: in the hardware bench's guest, uvcvideo drives
// the emulated scanner and Wine offers its video node as a video input device. That device has no
// extension unit to identify it, so the engine must pass it over, neither crashing nor hanging, and say
// nothing to the user. What Wine offered is printed for the record.
//
// It needs a video node and Wine on the same machine, which only the bench's guest has: the test is
// disabled elsewhere and tests/hardware/wine-in-guest runs it there.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "../capture/EngineTestSupport.h"
#include "capture/dshow/DshowPlatform.h"
#include "capture/dshow/KsInterfaces.h"
#include "capture/dshow/WideText.h"
#include "capture/engine/CaptureEngine.h"

namespace vistrel::dshow::test {
namespace {

using Microsoft::WRL::ComPtr;

std::string ReadText(::IPropertyBag* bag, const wchar_t* name)
{
    VARIANT value;
    VariantInit(&value);
    std::string text = "(none)";
    if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR)
        text = Utf8FromWide(value.bstrVal);
    VariantClear(&value);
    return text;
}

// The interfaces the engine looks for on a scanner's filter, and whether this one answers each.
std::string InterfacesAnswered(::IBaseFilter* filter)
{
    const std::pair<const char*, IID> wanted[] = {
        {"IKsTopologyInfo", __uuidof(::IKsTopologyInfo)}, {"IKsControl", __uuidof(::IKsControl)},
        {"IAMVideoProcAmp", IID_IAMVideoProcAmp},       {"IAMCameraControl", IID_IAMCameraControl},
        {"IAMVideoControl", IID_IAMVideoControl},
    };
    std::string answered;
    for (const auto& [name, iid] : wanted) {
        ComPtr<IUnknown> face;
        answered += std::string(" ") + name + (SUCCEEDED(filter->QueryInterface(iid, &face)) ? "=yes" : "=no");
    }
    return answered;
}

struct OfferedDevice {
    std::string friendlyName;
    std::string devicePath;
    std::string interfaces;
};

// The video input devices as Wine's own enumerator lists them, read straight from COM.
std::vector<OfferedDevice> DevicesWineOffers()
{
    std::vector<OfferedDevice> offered;
    ComPtr<::ICreateDevEnum> enumerator;
    ComPtr<::IEnumMoniker> monikers;
    if (FAILED(CoCreateInstance(::CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&enumerator))) ||
        enumerator->CreateClassEnumerator(::CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK)
        return offered;
    ComPtr<::IMoniker> moniker;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        OfferedDevice device;
        ComPtr<::IPropertyBag> bag;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_PPV_ARGS(&bag)))) {
            device.friendlyName = ReadText(bag.Get(), L"FriendlyName");
            device.devicePath = ReadText(bag.Get(), L"DevicePath");
        }
        ComPtr<::IBaseFilter> filter;
        const HRESULT bound = moniker->BindToObject(nullptr, nullptr, IID_PPV_ARGS(&filter));
        device.interfaces = SUCCEEDED(bound) ? InterfacesAnswered(filter.Get()) : " (the filter did not bind)";
        offered.push_back(std::move(device));
        moniker.Reset();
    }
    return offered;
}

TEST(WineOwnCapture, DISABLED_TheDriversVideoNodeIsOfferedAndPassedOverAsUnidentified)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    const std::vector<OfferedDevice> offered = DevicesWineOffers();
    for (const OfferedDevice& device : offered)
        std::cout << "Wine offers \"" << device.friendlyName << "\", DevicePath " << device.devicePath
                  << ";" << device.interfaces << "\n";
    ASSERT_FALSE(offered.empty()) << "Wine offered no video input device for the scanner's video node";

    {
        vistrel::test::TestHost host;
        CaptureEngine engine(MakeDshowPlatform(), host);
        std::shared_ptr<IBaseFilter> found;
        std::string path;
        EXPECT_FALSE(engine.FindScanner(nullptr, &path, &found)) << "taken as the scanner: " << path;
        EXPECT_FALSE(found);
        EXPECT_TRUE(host.messages.empty()) << "passing over a device is no news for the user";
    }
    CoUninitialize();
}

} // namespace
} // namespace vistrel::dshow::test
