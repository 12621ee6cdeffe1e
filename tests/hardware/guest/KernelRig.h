#pragma once
// The program's capture engine on a real backend (V4L2 unless given another platform), in front of the
// emulated scanner that the kernel's own drivers have taken: what the scanner window does, without the
// window.
#include <atomic>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "EmulatedScanner.h"
#include "EngineRig.h"
#include "capture/SelectPlatform.h"
#include "capture/runtime/CapturePlatform.h"
#include "capture/v4l2/V4l2DeviceSource.h"

namespace vistrel::hwtest {

// The platform the program builds when VISTREL_CAPTURE_BACKEND names a backend ("usb", "v4l2"), as a
// user diagnosing it would force one.
inline std::shared_ptr<ICapturePlatform> ForcedPlatform(const char* backend)
{
    ::setenv("VISTREL_CAPTURE_BACKEND", backend, 1);
    ::unsetenv("VISTREL_SIMULATOR");
    return MakePlatformFromEnvironment();
}

struct KernelRig : test::EngineRig {
    explicit KernelRig(std::shared_ptr<ICapturePlatform> p = MakeCapturePlatform({MakeV4l2DeviceSource()}))
        : EngineRig(std::move(p)) {}

    ~KernelRig()
    {
        StopListening();
        Detach();
    }

    // What the window does on detach; answers whether it came back within the time given.
    bool Detach(std::chrono::seconds within = std::chrono::seconds(60))
    {
        if (!engine.ScannerFilter() && !engine.HasGraph())
            return true;
        auto done = std::async(std::launch::async, [this] {
            engine.StopCapture();
            engine.ReleasePropertyInterfaces();
            engine.SetScannerFilter(nullptr);
        });
        return done.wait_for(within) == std::future_status::ready;
    }

    // Device changes as the window hears them.
    void Listen()
    {
        handle = engine.RegisterDeviceNotification([this](const DeviceChange& change) {
            std::lock_guard lock(mutex);
            changes.push_back(change);
        });
    }
    bool WaitForChange(std::uint32_t event, const std::string& name)
    {
        return WaitUntil([&] {
            std::lock_guard lock(mutex);
            for (const auto& c : changes)
                if (c.event == event && CaptureEngine::PathsEqualIgnoringCase(c.name, name))
                    return true;
            return false;
        }, kDeviceWait);
    }
    void StopListening()
    {
        if (handle)
            engine.UnregisterDeviceNotification(handle);
        handle = 0;
    }

    std::mutex mutex;
    std::vector<DeviceChange> changes;
    DeviceNotificationHandle handle = 0;
};

} // namespace vistrel::hwtest
