// The DirectShow backend's adapters under Wine's real quartz, qcap, devenum and qedit, and over the
// registered simulated scanner's filter outside any graph (it stands in for the Windows UVC driver's
// filter and has not been checked against that driver).
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "capture/dshow/DshowDevices.h"
#include "capture/dshow/DshowFilter.h"
#include "capture/dshow/KsInterfaces.h"
#include "capture/engine/ExtensionUnit.h"
#include "WineGraphRig.h"

namespace vistrel::dshow::test {
namespace {

using Microsoft::WRL::ComPtr;

// COM in a single-threaded apartment on the test's thread, as the program starts it.
class Apartment : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }
};

using SystemDevices = Apartment;

TEST_F(SystemDevices, TheVideoInputCategoryListsWithReadableNames)
{
    auto enumerator = MakeSystemDeviceEnumerator();
    std::vector<std::shared_ptr<vistrel::IMoniker>> devices;
    const vistrel::HRESULT hr = enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &devices);
    ASSERT_TRUE(hr == S_OK || hr == S_FALSE) << std::hex << hr;
    EXPECT_EQ(hr == S_FALSE, devices.empty());
    for (const auto& device : devices) {
        std::shared_ptr<vistrel::IPropertyBag> bag;
        ASSERT_EQ(device->BindToStorage(&bag), S_OK);
        std::string name;
        EXPECT_EQ(bag->Read("FriendlyName", &name), S_OK);
        EXPECT_FALSE(name.empty());
    }
}

using PlatformFilters = Apartment;

// qedit's graph filters, as Microsoft documents their class ids (mingw-w64's qedit.h lacks them).
constexpr CLSID kClsidSampleGrabber {0xC1F400A0, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};
constexpr CLSID kClsidNullRenderer {0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

struct RealFilter {
    const char* what;
    CLSID id;
    std::vector<PinDirection> pins;
};

TEST_F(PlatformFilters, PinsDirectionsAndRunStateComeThroughTheAdapters)
{
    const RealFilter filters[] = {
        {"null renderer", kClsidNullRenderer, {PinDirection::Input}},
        {"sample grabber", kClsidSampleGrabber, {PinDirection::Input, PinDirection::Output}},
    };
    for (const RealFilter& real : filters) {
        SCOPED_TRACE(real.what);
        ComPtr<::IBaseFilter> native;
        ASSERT_EQ(CoCreateInstance(real.id, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, &native), S_OK);
        auto filter = WrapFilter(native);
        EXPECT_EQ(NativeFilter(*filter), native.Get());
        std::vector<std::shared_ptr<vistrel::IPin>> pins;
        ASSERT_EQ(filter->EnumPins(&pins), S_OK);
        ASSERT_EQ(pins.size(), real.pins.size());
        for (std::size_t i = 0; i < pins.size(); ++i) {
            PinDirection direction {};
            EXPECT_EQ(pins[i]->QueryDirection(&direction), S_OK);
            EXPECT_EQ(direction, real.pins[i]);
            PinInfo info;
            EXPECT_EQ(pins[i]->QueryPinInfo(&info), S_OK);
            EXPECT_EQ(info.filter, filter);
            EXPECT_FALSE(info.name.empty());
            std::shared_ptr<vistrel::IPin> peer;
            EXPECT_EQ(pins[i]->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
        }
        FilterState state = FilterState::Running;
        EXPECT_EQ(filter->GetState(0, &state), S_OK);
        EXPECT_EQ(state, FilterState::Stopped);
        // A filter of a graph's own makes no camera of itself.
        EXPECT_EQ(filter->QueryCameraControl(), nullptr);
        EXPECT_EQ(filter->QueryKsControl(), nullptr);
    }
}

// A registered simulated device made by its class id, as the device enumerator's moniker binds it, and
// seen through the backend's adapters.
std::shared_ptr<vistrel::IBaseFilter> RegisteredDevice(const CLSID& id)
{
    EXPECT_TRUE(RegisterSimulatedDevices());
    ComPtr<::IBaseFilter> filter;
    EXPECT_EQ(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, &filter), S_OK);
    return filter ? WrapFilter(filter) : nullptr;
}

using ScannerThroughCom = Apartment;

TEST_F(ScannerThroughCom, TheExtensionUnitIdentifiesTheScannerAndNotACamera)
{
    const auto scanner = RegisteredDevice(kClsidSimulatedScanner);
    ASSERT_TRUE(scanner);
    ExtensionUnit unit;
    ASSERT_EQ(unit.OpenExtensionUnit(scanner), S_OK);
    EXPECT_TRUE(IdentifyScanner(unit));

    const auto camera = RegisteredDevice(kClsidSimulatedCamera);
    ASSERT_TRUE(camera);
    ExtensionUnit none;
    EXPECT_TRUE(FAILED(none.OpenExtensionUnit(camera)));
    EXPECT_FALSE(IdentifyScanner(none));
}

TEST_F(ScannerThroughCom, PropertiesReachTheDeviceInItsOwnUnits)
{
    const auto scanner = RegisteredDevice(kClsidSimulatedScanner);
    ASSERT_TRUE(scanner);
    auto amp = scanner->QueryVideoProcAmp();
    auto camera = scanner->QueryCameraControl();
    const auto remote = ScannerRemote();
    ASSERT_TRUE(amp && camera && remote);

    struct Case {
        int family;
        std::int32_t property;
        std::int32_t value;
    };
    // Pan and tilt are degrees here, as on the platform; the driver converts them for the wire.
    const Case cases[] = {
        {0, VideoProcAmp_Saturation, 63}, {0, VideoProcAmp_Brightness, 2}, {0, VideoProcAmp_Contrast, 70},
        {0, VideoProcAmp_Gamma, 400},     {1, CameraControl_Pan, 145},     {1, CameraControl_Tilt, 100},
        {1, CameraControl_Zoom, 110},     {1, CameraControl_Roll, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "family " << c.family << " property " << c.property);
        IAMPropertyFamily& family = c.family == 0 ? static_cast<IAMPropertyFamily&>(*amp) : *camera;
        std::int32_t minimum = 0, maximum = 0, step = 0, defaultValue = 0, caps = 0;
        ASSERT_EQ(family.GetRange(c.property, &minimum, &maximum, &step, &defaultValue, &caps), S_OK);
        EXPECT_LE(minimum, c.value);
        EXPECT_GE(maximum, c.value);
        EXPECT_EQ(family.Set(c.property, c.value, PropertyFlags_Manual), S_OK);
        LONG applied = 0;
        EXPECT_EQ(remote->PropertyValue(c.family, c.property, &applied), S_OK);
        EXPECT_EQ(applied, c.value);
        std::int32_t value = 0, flags = 0;
        EXPECT_EQ(family.Get(c.property, &value, &flags), S_OK);
        EXPECT_EQ(value, c.value);
    }
}

// COM's rules for IUnknown, which the graph relies on without saying: every interface of the filter
// (the camera control held apart included) leads back to one identity and one count, an interface it
// lacks leaves the out pointer cleared, and a pin answers for itself but lives on its filter's count.
TEST_F(ScannerThroughCom, EveryInterfaceLeadsBackToOneIdentityAndCount)
{
    ASSERT_TRUE(RegisterSimulatedDevices());
    ComPtr<IUnknown> identity;
    ASSERT_EQ(CoCreateInstance(kClsidSimulatedScanner, nullptr, CLSCTX_INPROC_SERVER, ::IID_IUnknown, &identity), S_OK);

    const IID answered[] = {IID_IBaseFilter, IID_IMediaFilter, IID_IPersist, IID_IAMVideoProcAmp,
                            IID_IAMCameraControl, IID_IAMVideoControl, __uuidof(::IKsControl),
                            __uuidof(::IKsTopologyInfo), __uuidof(IVistrelScannerRemote)};
    for (const IID& iid : answered) {
        ComPtr<IUnknown> face;
        ASSERT_EQ(identity->QueryInterface(iid, &face), S_OK);
        ComPtr<IUnknown> back;
        ASSERT_EQ(face->QueryInterface(::IID_IUnknown, &back), S_OK);
        EXPECT_EQ(back.Get(), identity.Get());
        // One count: a reference taken through any interface shows in the identity's.
        const ULONG before = identity->AddRef();
        face->AddRef();
        EXPECT_EQ(identity->Release(), before);
        face->Release();
    }

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(identity->QueryInterface(::IID_IPin, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(identity->QueryInterface(::IID_IUnknown, nullptr), E_POINTER);

    ComPtr<::IBaseFilter> filter;
    ASSERT_EQ(identity.As(&filter), S_OK);
    ComPtr<::IEnumPins> pins;
    ASSERT_EQ(filter->EnumPins(&pins), S_OK);
    ComPtr<::IPin> pin;
    ASSERT_EQ(pins->Next(1, &pin, nullptr), S_OK);
    ComPtr<IUnknown> pinIdentity;
    ASSERT_EQ(pin->QueryInterface(::IID_IUnknown, &pinIdentity), S_OK);
    EXPECT_NE(pinIdentity.Get(), identity.Get());
    ComPtr<::IAMStreamConfig> config;
    EXPECT_EQ(pin->QueryInterface(::IID_IAMStreamConfig, &config), S_OK);
    EXPECT_EQ(pin->QueryInterface(IID_IBaseFilter, &none), E_NOINTERFACE);
    const ULONG before = identity->AddRef();
    pin->AddRef();
    EXPECT_EQ(identity->Release(), before);
    pin->Release();
}

TEST_F(ScannerThroughCom, ABusyDeviceRefusesToRun)
{
    const auto scanner = RegisteredDevice(kClsidSimulatedScanner);
    const auto remote = ScannerRemote();
    ASSERT_TRUE(scanner && remote);
    ASSERT_EQ(remote->SetBusy(TRUE), S_OK);
    EXPECT_EQ(scanner->Run(), HresultFromWin32(ERROR_SHARING_VIOLATION));
    FilterState state {};
    EXPECT_EQ(scanner->GetState(0, &state), HresultFromWin32(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(scanner->Stop(), S_OK);
    ASSERT_EQ(remote->SetBusy(FALSE), S_OK);
    EXPECT_EQ(scanner->Run(), S_OK); // free again, it runs (no pin is connected, so nothing streams)
    EXPECT_EQ(scanner->GetState(0, &state), S_OK);
    EXPECT_EQ(state, FilterState::Running);
    EXPECT_EQ(scanner->Stop(), S_OK);
}

} // namespace
} // namespace vistrel::dshow::test
