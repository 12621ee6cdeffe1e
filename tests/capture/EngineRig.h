#pragma once
// The real engine on a platform, with a stand-in window: what the scanner window does with the engine,
// without the window. The simulated and the kernel-backed rigs add their devices around it.
#include <memory>
#include <string>

#include "EngineTestSupport.h"
#include "capture/engine/CaptureEngine.h"

namespace vistrel::test {

struct EngineRig {
    explicit EngineRig(std::shared_ptr<ICapturePlatform> p) : platform(std::move(p)) {}

    std::shared_ptr<ICapturePlatform> platform;
    TestHost host;
    CaptureEngine engine {platform, host};

    bool Find(std::shared_ptr<IBaseFilter>* found, const std::string* wanted = nullptr)
    {
        return engine.FindScanner(wanted, &engine.ScannerPath(), found);
    }

    // What the window does on attach: find, keep, read the properties, Negative, start.
    bool Attach(const std::string* wanted = nullptr)
    {
        std::shared_ptr<IBaseFilter> found;
        if (!Find(&found, wanted))
            return false;
        engine.SetScannerFilter(found);
        engine.ReadCameraProperties();
        engine.ApplyFilmPreset(Negative);
        engine.StartCapture();
        return true;
    }
};

} // namespace vistrel::test
