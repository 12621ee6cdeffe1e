#pragma once
// A simulated device with its pins connected to collecting inputs and running.
#include <gtest/gtest.h>

#include "SimTestSupport.h"

namespace vistrel::sim::test {

class RunningDevice {
public:
    explicit RunningDevice(DeviceOptions options = {}, std::pair<std::int32_t, std::int32_t> stillSize = {2592, 1944},
                           std::pair<std::int32_t, std::int32_t> liveSize = {1280, 960})
    {
        path = source.AddDevice(options);
        filter = Bind(source, path);
        if (!filter)
            return;
        capture = PinOfCategory(*filter, PIN_CATEGORY_CAPTURE);
        still = PinOfCategory(*filter, PIN_CATEGORY_STILL);
        live->keepLatestOnly = true;
        if (capture) {
            ChooseFormat(*capture, MEDIASUBTYPE_RGB32, liveSize.first, liveSize.second);
            capture->Connect(live, nullptr);
        }
        if (still) {
            ChooseFormat(*still, MEDIASUBTYPE_MJPG, stillSize.first, stillSize.second);
            still->Connect(stills, nullptr);
        }
    }
    ~RunningDevice()
    {
        if (filter)
            filter->Stop();
        // Both ends let go, as a graph disconnects them: each pin holds the other.
        for (const auto& [pin, collector] : {std::pair {capture, live}, std::pair {still, stills}}) {
            if (pin)
                pin->Disconnect();
            collector->Disconnect();
        }
    }

    HRESULT Set(int family, std::int32_t property, std::int32_t value)
    {
        auto procAmp = filter->QueryVideoProcAmp();
        auto cameraControl = filter->QueryCameraControl();
        return family == 0 ? procAmp->Set(property, value, 0) : cameraControl->Set(property, value, 0);
    }
    // A live frame rendered wholly after every change made so far.
    RgbImage Frame()
    {
        const auto n = live->Count();
        EXPECT_TRUE(live->WaitForCount(n + 2)) << "live frames stopped";
        return FromRgb32(live->Latest());
    }
    HRESULT Trigger()
    {
        return filter->QueryVideoControl()->SetMode(still, VideoControlFlag_Trigger);
    }

    SimulatedDeviceSource source;
    std::string path;
    std::shared_ptr<IBaseFilter> filter;
    std::shared_ptr<IPin> capture, still;
    std::shared_ptr<CollectingPin> live = std::make_shared<CollectingPin>();
    std::shared_ptr<CollectingPin> stills = std::make_shared<CollectingPin>();
};

} // namespace vistrel::sim::test
