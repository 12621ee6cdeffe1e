#pragma once
// What the tests on Wine's real DirectShow share: the simulated devices' filter DLL registered in the
// prefix, the message pump of the thread that owns the graph, a preview window for the system's
// renderer, and a host that hands the scanner's button to its own thread as the window does.
// The registered filter stands in for the one the Windows UVC driver gives a real scanner and has not
// been checked against that driver.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/engine/CaptureEngine.h"
#include "capture/engine/FormatSelection.h"
#include "scanner/ScannerRemote.h"

namespace vistrel::dshow::test {

using namespace std::chrono_literals;

// Messages of this thread until the condition holds; false when it never does.
template <class Condition>
bool PumpUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// Registers the simulated scanner and camera in this prefix by their DLL's own entry, as regsvr32
// would; the DLL lies beside the tests.
inline ::testing::AssertionResult RegisterSimulatedDevices()
{
    HMODULE dll = LoadLibraryW(L"vistrel_dshow_scanner.dll");
    if (!dll)
        return ::testing::AssertionFailure() << "the simulated scanner's filter DLL is not beside the tests";
    using Entry = HRESULT(STDAPICALLTYPE*)();
    const auto registerServer = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(dll, "DllRegisterServer")));
    if (!registerServer)
        return ::testing::AssertionFailure() << "DllRegisterServer is missing";
    if (const HRESULT hr = registerServer(); hr != S_OK)
        return ::testing::AssertionFailure() << "DllRegisterServer failed: " << std::hex << hr;
    return ::testing::AssertionSuccess();
}

// The scanner's hardware side, through the filter's private interface.
inline Microsoft::WRL::ComPtr<IVistrelScannerRemote> ScannerRemote()
{
    Microsoft::WRL::ComPtr<IVistrelScannerRemote> remote;
    CoCreateInstance(kClsidSimulatedScanner, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IVistrelScannerRemote), &remote);
    return remote;
}

inline LONG FramesDelivered()
{
    LONG frames = 0, stills = 0;
    if (const auto remote = ScannerRemote())
        remote->Delivered(&frames, &stills);
    return frames;
}

// A plain window the renderer's window is made a child of, as the preview control is in the program.
class NativeSurface final : public IVideoSurface {
public:
    NativeSurface()
    {
        window = CreateWindowExW(0, L"STATIC", L"preview", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    }
    ~NativeSurface() override { DestroyWindow(window); }
    void PlacementChanged(const VideoPlacement&) override {}
    void PresentFrame(std::shared_ptr<const VideoFrame>) override {}
    std::uintptr_t NativeWindow() override { return reinterpret_cast<std::uintptr_t>(window); }

    HWND window = nullptr;
};

// The window's side of the engine. Like the program's window, it takes the scanner's button as its
// Scan command, queued for its own thread: RunPosted runs what was queued.
class RigHost final : public ICaptureHost {
public:
    std::int32_t CurrentFilmSize() override { return kFilm135; }
    void PreviewArea(std::int32_t* width, std::int32_t* height) override
    {
        *width = 640;
        *height = 480;
    }
    IVideoSurface* PreviewSurface() override { return &surface; }
    void SetPreviewBackgroundBlack() override {}
    void ReportError(const Reason& reason) override { reasons.push_back(reason); }
    void OnScannerButton() override
    {
        const std::lock_guard lock(mutex);
        buttonThreads.push_back(GetCurrentThreadId());
        posted.push_back(scan);
    }
    std::int32_t OnStillFrame(double, const std::uint8_t* bytes, std::int32_t length) override
    {
        const std::lock_guard lock(mutex);
        stills.emplace_back(bytes, bytes + length);
        return 0;
    }
    HRESULT RefreshPropertyControls(const CameraProperty&) override { return S_OK; }
    HRESULT RefreshAllPropertyControls() override { return S_OK; }
    void CheckDefaultCustom(bool) override {}

    void RunPosted()
    {
        std::vector<std::function<void()>> now;
        {
            const std::lock_guard lock(mutex);
            now.swap(posted);
        }
        for (const auto& work : now)
            if (work)
                work();
    }
    std::size_t Stills()
    {
        const std::lock_guard lock(mutex);
        return stills.size();
    }
    std::vector<DWORD> ButtonThreads()
    {
        const std::lock_guard lock(mutex);
        return buttonThreads;
    }

    std::function<void()> scan; // what the window's Scan command does
    NativeSurface surface;
    std::vector<Reason> reasons;

private:
    std::mutex mutex;
    std::vector<std::function<void()>> posted;
    std::vector<DWORD> buttonThreads;
    std::vector<std::vector<std::uint8_t>> stills;
};

} // namespace vistrel::dshow::test
