// The capture engine on Windows' own capture stack under Wine: the real device enumerator, filter graph
// manager, capture graph builder, sample grabber and null renderer (devenum, quartz, qcap, qedit) with
// the simulated scanner's DirectShow filter (scanner/) registered in the prefix as a video input device.
// That filter stands in for the one the Windows UVC driver gives a real scanner and has not been checked
// against that driver: what these tests prove about the driver's side holds only as far as it does.
#include <windows.h>
#include <dbt.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/dshow/DshowFilter.h"
#include "capture/dshow/DshowGraph.h"
#include "capture/dshow/DshowPlatform.h"
#include "capture/dshow/WideText.h"
#include "capture/engine/CaptureEngine.h"
#include "capture/engine/FormatSelection.h"
#include "scanner/ScannerRemote.h"
#include "WineGraphRig.h"

namespace vistrel::dshow::test {
namespace {

using Microsoft::WRL::ComPtr;
using namespace std::chrono_literals;

class Host final : public ICaptureHost {
public:
    std::int32_t CurrentFilmSize() override { return filmSize; }
    void PreviewArea(std::int32_t* width, std::int32_t* height) override
    {
        *width = 640;
        *height = 480;
    }
    IVideoSurface* PreviewSurface() override { return &surface; }
    void SetPreviewBackgroundBlack() override {}
    void ReportError(const Reason& reason) override { reasons.push_back(reason); }
    std::int32_t OnStillFrame(double, const std::uint8_t* bytes, std::int32_t length) override
    {
        const std::lock_guard lock(mutex);
        stills.emplace_back(bytes, bytes + length);
        arrived.notify_all();
        return 0;
    }
    HRESULT RefreshPropertyControls(const CameraProperty&) override { return S_OK; }
    HRESULT RefreshAllPropertyControls() override { return S_OK; }
    void CheckDefaultCustom(bool) override {}

    bool WaitForStill(std::size_t count)
    {
        std::unique_lock lock(mutex);
        return arrived.wait_for(lock, 10s, [&] { return stills.size() >= count; });
    }

    std::int32_t filmSize = kFilm135;
    NativeSurface surface;
    std::vector<Reason> reasons;
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::vector<std::uint8_t>> stills;
};

// COM in a single-threaded apartment, as the program's window thread has it, and the simulated devices
// registered in this prefix by their DLL's own registration entry, as regsvr32 would call it.
class WineGraph : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_TRUE(RegisterSimulatedDevices());
    }
    void TearDown() override
    {
        if (engine)
            engine->StopCapture();
        engine.reset();
        platform.reset();
        CoUninitialize();
    }

    CaptureEngine& Engine()
    {
        if (!engine)
            engine = std::make_unique<CaptureEngine>(platform, host);
        return *engine;
    }

    // Finds the scanner and starts it as the window does on attaching, then lets the first frames reach
    // the renderer. Under Wine the renderer's first drawing from the streaming thread waits for the
    // thread that owns its window, so that thread pumps its messages meanwhile, as the program's window
    // thread does; stopping before would leave both waiting for each other.
    bool Attach()
    {
        std::shared_ptr<IBaseFilter> found;
        if (!Engine().FindScanner(nullptr, &Engine().ScannerPath(), &found))
            return false;
        Engine().SetScannerFilter(found);
        Engine().ReadCameraProperties();
        LONG before = 0, frames = 0, stills = 0;
        Remote()->Delivered(&before, &stills);
        if (Failed(Engine().StartCapture()))
            return false;
        return PumpUntil([&] { return Succeeded(Remote()->Delivered(&frames, &stills)) && frames >= before + 2; });
    }
    void Detach()
    {
        Engine().StopCapture();
        Engine().ReleasePropertyInterfaces();
        Engine().SetScannerFilter(nullptr);
    }

    ComPtr<IVistrelScannerRemote> Remote() { return ScannerRemote(); }
    LONG DeviceValue(int family, std::int32_t property)
    {
        LONG value = -99999;
        EXPECT_EQ(Remote()->PropertyValue(family, property, &value), S_OK);
        return value;
    }

    std::shared_ptr<ICapturePlatform> platform = MakeDshowPlatform();
    Host host;
    std::unique_ptr<CaptureEngine> engine;
};

TEST_F(WineGraph, TheScannerIsFoundByItsExtensionUnitAndTheCameraIsSkipped)
{
    // Both devices are listed by the system's enumerator, whatever their order.
    std::shared_ptr<ICreateDevEnum> enumerator;
    ASSERT_EQ(platform->CreateDeviceEnumerator(&enumerator), S_OK);
    std::vector<std::shared_ptr<IMoniker>> devices;
    ASSERT_EQ(enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &devices), S_OK);
    std::vector<std::string> paths;
    for (const auto& device : devices) {
        std::shared_ptr<IPropertyBag> bag;
        std::string path;
        if (Succeeded(device->BindToStorage(&bag)) && Succeeded(bag->Read("DevicePath", &path)))
            paths.push_back(path);
    }
    EXPECT_NE(std::find(paths.begin(), paths.end(), kScannerDevicePath), paths.end());
    EXPECT_NE(std::find(paths.begin(), paths.end(), kCameraDevicePath), paths.end());

    std::shared_ptr<IBaseFilter> found;
    std::string path;
    ASSERT_TRUE(Engine().FindScanner(nullptr, &path, &found));
    EXPECT_EQ(path, kScannerDevicePath);
    EXPECT_TRUE(found);

    // Asked for the camera's path, nothing answers: the camera never identifies as a scanner.
    const std::string camera = kCameraDevicePath;
    std::shared_ptr<IBaseFilter> none;
    EXPECT_FALSE(Engine().FindScanner(&camera, &path, &none));
    EXPECT_FALSE(none);
    // The scanner's own path in other letters still finds it.
    std::string upper = kScannerDevicePath;
    for (char& c : upper)
        c = char(toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(Engine().FindScanner(&upper, &path, &found));
}

TEST_F(WineGraph, BothBranchesRunAndAScanGivesAStill)
{
    for (const std::int32_t film : {kFilm135, kFilm126}) {
        SCOPED_TRACE(film == kFilm135 ? "135 film" : "126 film");
        host.filmSize = film;
        ASSERT_TRUE(Attach());
        const CaptureGraph* graph = Engine().Graph();
        ASSERT_TRUE(graph && graph->graph && graph->stillGrabber);
        std::vector<std::shared_ptr<IBaseFilter>> filters;
        ASSERT_EQ(graph->graph->EnumFilters(&filters), S_OK);
        EXPECT_GE(filters.size(), 4u); // device, renderer, grabber, null renderer
        FilterState state {};
        EXPECT_EQ(graph->graph->QueryMediaControl()->GetState(1000, &state), S_OK);
        EXPECT_EQ(state, FilterState::Running);

        LONG frames = 0, stills = 0;
        EXPECT_TRUE(PumpUntil([&] { return Succeeded(Remote()->Delivered(&frames, &stills)) && frames >= 3; }))
            << "the preview branch takes no frames";

        const std::size_t before = host.stills.size();
        Engine().TriggerStill();
        ASSERT_TRUE(host.WaitForStill(before + 1));
        const auto& still = host.stills.back();
        ASSERT_GT(still.size(), 4u);
        EXPECT_EQ(still[0], 0xFF);
        EXPECT_EQ(still[1], 0xD8); // a JPEG file, as delivered
        // The still format follows the film size: square for 126, wide for 135.
        const StillFormat& format = Engine().CurrentStillFormat();
        EXPECT_EQ(film == kFilm126, format.width == format.height) << format.width << " x " << format.height;

        Detach();
        EXPECT_FALSE(Engine().HasGraph());
    }
    EXPECT_TRUE(host.reasons.empty());
}

TEST_F(WineGraph, PropertiesAndFilmPresetsReachTheFilterInItsUnits)
{
    ASSERT_TRUE(Attach());
    // Every slider's property at a third of its range; pan and tilt in degrees, as the platform's are.
    for (const int slider : {1002, 1003, 1004, 1005, 1006, 1007}) {
        SCOPED_TRACE(::testing::Message() << "slider " << slider);
        const CameraProperty* slot = Engine().SlotForSlider(slider);
        ASSERT_TRUE(slot && slot->supported);
        CameraProperty changed = *slot;
        changed.value = slot->minimum + (slot->maximum - slot->minimum) / 3;
        changed.flags = PropertyFlags_Manual;
        Engine().SetCameraProperty(changed);
        Engine().WaitForDevice(); // the device's own thread sends it
        EXPECT_EQ(DeviceValue(changed.family, changed.index), changed.value);
    }

    struct Preset {
        FilmType type;
        LONG roll, gamma, saturation, brightness, contrast, red, green, blue;
    };
    const Preset presets[] = {
        {Negative, 1, 400, 63, 2, 70, 145, 110, 100},
        {Slide, 0, 300, 45, 15, 45, 128, 128, 128},
        {BlackWhite, 1, 400, 0, -25, 50, 128, 128, 128},
    };
    for (const Preset& preset : presets) {
        SCOPED_TRACE(::testing::Message() << "film type " << preset.type);
        Engine().ApplyFilmPreset(preset.type);
        Engine().WaitForDevice();
        EXPECT_EQ(DeviceValue(1, CameraControl_Roll), preset.roll);
        EXPECT_EQ(DeviceValue(0, VideoProcAmp_Gamma), preset.gamma);
        EXPECT_EQ(DeviceValue(0, VideoProcAmp_Saturation), preset.saturation);
        EXPECT_EQ(DeviceValue(0, VideoProcAmp_Brightness), preset.brightness);
        EXPECT_EQ(DeviceValue(0, VideoProcAmp_Contrast), preset.contrast);
        EXPECT_EQ(DeviceValue(1, CameraControl_Pan), preset.red);
        EXPECT_EQ(DeviceValue(1, CameraControl_Zoom), preset.green);
        EXPECT_EQ(DeviceValue(1, CameraControl_Tilt), preset.blue);
    }
}

TEST_F(WineGraph, AScannerThatRefusesToRunIsReportedAsLocked)
{
    ASSERT_EQ(Remote()->SetBusy(TRUE), S_OK);
    std::shared_ptr<IBaseFilter> found;
    ASSERT_TRUE(Engine().FindScanner(nullptr, &Engine().ScannerPath(), &found));
    Engine().SetScannerFilter(found);
    Engine().StartCapture();
    Remote()->SetBusy(FALSE);
    ASSERT_EQ(host.reasons.size(), 1u);
    EXPECT_EQ(host.reasons[0].code, ReasonCode::DeviceLocked);
    LONG frames = 0, stills = 0;
    Remote()->Delivered(&frames, &stills);
    EXPECT_EQ(frames, 0);
}

TEST_F(WineGraph, PropertiesFromAnotherApartmentWhileTheScannerStreams)
{
    ASSERT_TRUE(Attach());
    const CameraProperty* brightness = Engine().SlotForSlider(1003);
    ASSERT_TRUE(brightness);
    const std::int32_t low = brightness->minimum, high = brightness->maximum;
    const auto amp = Engine().ScannerFilter()->QueryVideoProcAmp();
    ASSERT_TRUE(amp);
    // The device's action thread joins the multi-threaded apartment and sets properties there, while
    // the window thread triggers a still.
    std::thread worker([&] {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        for (std::int32_t i = 0; i < 200; ++i)
            EXPECT_EQ(amp->Set(VideoProcAmp_Brightness, i % 2 ? high : low, PropertyFlags_Manual), S_OK);
        CoUninitialize();
    });
    const std::size_t before = host.stills.size();
    Engine().TriggerStill();
    worker.join();
    EXPECT_TRUE(host.WaitForStill(before + 1));
    EXPECT_EQ(DeviceValue(0, VideoProcAmp_Brightness), high); // the last one set
}

// The graph pauses its renderers before their sources, and a paused renderer keeps the sample it is
// given until it runs or stops: a source that waited at its own pause for its streaming thread, held
// there, would never come back, and every Stop of a running graph pauses first. Here the renderers are
// paused by hand and given time to take a sample before the scanner is paused; then the graph is paused
// and run again, and stopped and run again, and frames and stills keep coming.
TEST_F(WineGraph, TheScannerPausesWhileAPausedRendererHoldsItsSample)
{
    ASSERT_TRUE(Attach());
    ::IGraphBuilder* graph = NativeGraph(*Engine().Graph()->graph);
    ::IBaseFilter* scanner = NativeFilter(*Engine().ScannerFilter());
    ASSERT_TRUE(graph && scanner);
    ComPtr<::IEnumFilters> filters;
    ASSERT_EQ(graph->EnumFilters(&filters), S_OK);
    std::vector<ComPtr<::IBaseFilter>> downstream;
    for (ComPtr<::IBaseFilter> filter; filters->Next(1, filter.ReleaseAndGetAddressOf(), nullptr) == S_OK;) {
        if (filter.Get() != scanner)
            downstream.push_back(filter);
    }
    ASSERT_FALSE(downstream.empty());
    for (const auto& filter : downstream)
        EXPECT_TRUE(SUCCEEDED(filter->Pause()));
    // Held: no frame gets past the paused renderer any more.
    LONG frames = 0, stills = 0, last = -1;
    EXPECT_TRUE(PumpUntil([&] {
        const LONG before = last;
        std::this_thread::sleep_for(300ms);
        Remote()->Delivered(&frames, &stills);
        last = frames;
        return frames == before;
    })) << "frames still pass the paused renderer";

    std::atomic<bool> paused {false};
    std::thread pauser([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        scanner->Pause();
        paused = true;
        CoUninitialize();
    });
    const bool returned = PumpUntil([&] { return paused.load(); }, 5s);
    if (!returned) {
        // Stopping the renderers lets the held sample go, and the test end.
        for (const auto& filter : downstream)
            filter->Stop();
    }
    pauser.join();
    ASSERT_TRUE(returned) << "the scanner's pause waited for the renderer that holds its sample";

    // The graph brings every filter to one state again.
    ComPtr<::IMediaControl> control;
    ASSERT_EQ(graph->QueryInterface(IID_PPV_ARGS(&control)), S_OK);
    const auto flowing = [&] {
        LONG from = 0;
        Remote()->Delivered(&from, &stills);
        return PumpUntil([&] { return Succeeded(Remote()->Delivered(&frames, &stills)) && frames >= from + 3; });
    };
    for (const bool stopFirst : {false, true}) {
        SCOPED_TRACE(stopFirst ? "stopped and run" : "paused and run");
        if (stopFirst)
            ASSERT_TRUE(SUCCEEDED(control->Stop()));
        else
            ASSERT_TRUE(SUCCEEDED(control->Pause()));
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        EXPECT_TRUE(flowing()) << "no frames after the graph ran again";
        const std::size_t before = host.stills.size();
        Engine().TriggerStill();
        EXPECT_TRUE(host.WaitForStill(before + 1));
    }
}

// A message-only window receives the device notifications, as the program's window does through its
// native event filter.
class MessageWindow {
public:
    explicit MessageWindow(IDeviceNotifications& notifications)
    {
        WNDCLASSW windowClass {};
        windowClass.lpfnWndProc = &MessageWindow::Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"VistrelDeviceChangeTest";
        RegisterClassW(&windowClass);
        window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 windowClass.hInstance, nullptr);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&notifications));
        notifications.SetMessageWindow(reinterpret_cast<std::uintptr_t>(window));
    }
    ~MessageWindow() { DestroyWindow(window); }

    // Sends WM_DEVICECHANGE with a device interface broadcast, as the system does. The message carries a
    // pointer, so the system refuses to post it (ERROR_MESSAGE_SYNC_ONLY): it is always sent.
    void Send(WPARAM event, const Guid& interfaceClass, const std::string& name)
    {
        const std::wstring wide = WideFromUtf8(name);
        const std::size_t size = offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (wide.size() + 1) * sizeof(wchar_t);
        std::vector<std::byte> block(size, std::byte {0});
        auto* broadcast = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(block.data());
        broadcast->dbcc_size = DWORD(size);
        broadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        std::memcpy(&broadcast->dbcc_classguid, &interfaceClass, sizeof(GUID));
        std::memcpy(broadcast->dbcc_name, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
        SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(block.data()));
    }

    HWND window = nullptr;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* notifications = reinterpret_cast<IDeviceNotifications*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        const MSG msg {window, message, wParam, lParam, 0, {}};
        if (notifications && notifications->DeliverMessage(&msg))
            return TRUE;
        return DefWindowProcW(window, message, wParam, lParam);
    }
};

TEST_F(WineGraph, DeviceChangeMessagesDetachAndAttachTheScanner)
{
    MessageWindow messages(platform->DeviceNotifications());
    ASSERT_NE(messages.window, nullptr);
    ASSERT_TRUE(Attach());

    // What the window does with a change: a removal of its scanner detaches it, an arrival of a
    // scanner while none is attached attaches it.
    std::vector<DeviceChange> heard;
    const DeviceNotificationHandle handle = Engine().RegisterDeviceNotification([&](const DeviceChange& change) {
        heard.push_back(change);
        if (change.event == DBT_DEVICEREMOVECOMPLETE && Engine().ScannerFilter() &&
            CaptureEngine::PathsEqualIgnoringCase(change.name, Engine().ScannerPath()))
            Detach();
        else if (change.event == DBT_DEVICEARRIVAL && !Engine().ScannerFilter() && CaptureEngine::PathNamesScanner(change.name))
            Attach();
    });
    ASSERT_NE(handle, 0u);

    // Neither another class nor another device's removal touches the scanner.
    messages.Send(DBT_DEVICEREMOVECOMPLETE, KSCATEGORY_AUDIO, kScannerDevicePath);
    messages.Send(DBT_DEVICEREMOVECOMPLETE, KSCATEGORY_CAPTURE, kCameraDevicePath);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].name, kCameraDevicePath);
    EXPECT_TRUE(Engine().HasGraph());

    std::string upper = kScannerDevicePath;
    for (char& c : upper)
        c = char(toupper(static_cast<unsigned char>(c)));
    messages.Send(DBT_DEVICEREMOVECOMPLETE, KSCATEGORY_CAPTURE, upper);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[1].interfaceClass, KSCATEGORY_CAPTURE);
    EXPECT_FALSE(Engine().HasGraph());
    EXPECT_FALSE(Engine().ScannerFilter());

    messages.Send(DBT_DEVICEARRIVAL, KSCATEGORY_CAPTURE, kScannerDevicePath);
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_TRUE(Engine().HasGraph());
    LONG frames = 0, stills = 0, before = 0;
    Remote()->Delivered(&before, &stills);
    EXPECT_TRUE(PumpUntil([&] { return Succeeded(Remote()->Delivered(&frames, &stills)) && frames > before + 2; }));
    Engine().UnregisterDeviceNotification(handle);
}

} // namespace
} // namespace vistrel::dshow::test
