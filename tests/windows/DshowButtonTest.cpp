// The scanner's own button on Windows' capture stack under Wine: the registered simulated scanner's
// filter raises the still-button event in its graph (IMediaEventSink::Notify), as it stands in for the
// Windows UVC driver's filter; Wine's real filter graph manager queues it and posts it to the window
// thread (IMediaEventEx); the engine hands it to the window, which scans. The filter has not been
// checked against that driver: how the real driver reports its button is not proven here.
#include "WineGraphRig.h"

#include "capture/dshow/DshowPlatform.h"

namespace vistrel::dshow::test {
namespace {

class WineButton : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_TRUE(RegisterSimulatedDevices());
        engine = std::make_unique<CaptureEngine>(platform, host);
        host.scan = [this] { engine->TriggerStill(); };
    }
    void TearDown() override
    {
        if (engine)
            engine->StopCapture();
        engine.reset();
        platform.reset();
        CoUninitialize();
    }

    // As the window attaches the scanner; the first frames reach the renderer while this thread pumps
    // its messages, as the window thread does.
    bool Attach()
    {
        std::shared_ptr<IBaseFilter> found;
        if (!engine->FindScanner(nullptr, &engine->ScannerPath(), &found))
            return false;
        engine->SetScannerFilter(found);
        engine->ReadCameraProperties();
        const LONG before = FramesDelivered();
        if (Failed(engine->StartCapture()))
            return false;
        return PumpUntil([&] { return FramesDelivered() >= before + 2; });
    }

    // The window thread at work: its messages, and the Scan commands the button queued.
    bool PumpUntilStills(std::size_t count)
    {
        return PumpUntil([&] {
            host.RunPosted();
            return host.Stills() >= count;
        });
    }

    std::shared_ptr<ICapturePlatform> platform = MakeDshowPlatform();
    RigHost host;
    std::unique_ptr<CaptureEngine> engine;
};

TEST_F(WineButton, EachPressOfTheScannersButtonTakesOneStill)
{
    ASSERT_TRUE(Attach());
    const auto remote = ScannerRemote();
    ASSERT_TRUE(remote);

    for (std::size_t press = 1; press <= 2; ++press) {
        SCOPED_TRACE(::testing::Message() << "press " << press);
        ASSERT_EQ(remote->PressButton(), S_OK) << "no filter of the scanner is in a graph";
        EXPECT_TRUE(PumpUntilStills(press)) << "the press never became a still";
        // Heard once per press, on the thread that owns the graph: no second thread calls into it.
        const auto threads = host.ButtonThreads();
        ASSERT_EQ(threads.size(), press);
        EXPECT_EQ(threads.back(), GetCurrentThreadId());
    }
    EXPECT_TRUE(host.reasons.empty());
}

TEST_F(WineButton, APressWithTheGraphGoneIsHeardByNobody)
{
    ASSERT_TRUE(Attach());
    engine->StopCapture();
    EXPECT_FALSE(engine->HasGraph());
    const auto remote = ScannerRemote();
    ASSERT_TRUE(remote);
    EXPECT_EQ(remote->PressButton(), S_FALSE); // the filter left its graph with it

    // Started again: a press from before is not a late Scan, a new one is.
    ASSERT_TRUE(Succeeded(engine->StartCapture()));
    PumpUntil([] { return false; }, 300ms);
    host.RunPosted();
    EXPECT_TRUE(host.ButtonThreads().empty());
    EXPECT_EQ(host.Stills(), 0u);
    ASSERT_EQ(remote->PressButton(), S_OK);
    EXPECT_TRUE(PumpUntilStills(1));
}

} // namespace
} // namespace vistrel::dshow::test
