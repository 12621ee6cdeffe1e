// The engine's device queue against the simulated scanner with slow control requests: calls return
// before the device has answered, a still sees the changes made before it, failures come back as
// events, and unplug and teardown with work still queued leave no thread and no request behind.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "SimRig.h"

namespace vistrel::test {
namespace {

// Long enough that a request cannot have reached the device when a call that only queues it returns.
constexpr std::uint32_t kSlowDeviceMs = 1500;
constexpr std::uint32_t kQuickStillMs = 10;

struct Failure {
    DeviceRequestFailure failure;
    std::thread::id thread;
};

class QueueHost : public TestHost {
public:
    void OnDeviceRequestFailed(const DeviceRequestFailure& failure) override
    {
        std::lock_guard lock(mutex);
        failures.push_back({failure, std::this_thread::get_id()});
    }
    std::int32_t OnStillFrame(double time, const std::uint8_t* bytes, std::int32_t length) override
    {
        if (onStill)
            onStill();
        return TestHost::OnStillFrame(time, bytes, length);
    }
    std::vector<Failure> Failures()
    {
        std::lock_guard lock(mutex);
        return failures;
    }

    std::function<void()> onStill;   // set before the first still, read on the streaming thread

private:
    std::mutex mutex;
    std::vector<Failure> failures;
};

// The engine with its scanner attached at full speed; the scanner turns slow afterwards.
struct QueueRig {
    std::shared_ptr<sim::SimulatedDeviceSource> source = std::make_shared<sim::SimulatedDeviceSource>();
    std::shared_ptr<ICapturePlatform> platform = MakeCapturePlatform({source});
    QueueHost host;
    std::optional<CaptureEngine> engine;
    std::string path;

    QueueRig()
    {
        engine.emplace(platform, host);
        engine->SetProbeWait([](std::chrono::milliseconds) {});
        DeviceOptions options;
        options.faults.stillDelayMs = kQuickStillMs;
        path = source->AddDevice(options);
        std::shared_ptr<IBaseFilter> found;
        if (engine->FindScanner(nullptr, &engine->ScannerPath(), &found)) {
            engine->SetScannerFilter(found);
            engine->ReadCameraProperties();
            engine->ApplyFilmPreset(Negative);
            engine->StartCapture();
        }
    }
    void SlowDown(std::uint32_t latencyMs)
    {
        ScannerFaults faults = source->Faults(path);
        faults.controlLatencyMs = latencyMs;
        source->SetFaults(path, faults);
    }
    std::optional<std::int32_t> Device(int family, std::int32_t property) const
    {
        return source->PropertyValue(path, family, property);
    }
    CameraProperty& Brightness() { return engine->Property(kVideoProcAmpFamily, VideoProcAmp_Brightness); }
};

TEST(EngineQueue, ChangesAndTriggersReturnBeforeTheDeviceAnswersAndTheStillSeesTheLatestValue)
{
    QueueRig rig;
    ASSERT_TRUE(rig.engine->HasGraph());
    rig.engine->WaitForDevice();
    rig.SlowDown(kSlowDeviceMs);
    std::optional<std::int32_t> atStill;
    rig.host.onStill = [&] { atStill = rig.Device(kVideoProcAmpFamily, VideoProcAmp_Brightness); };

    const std::int32_t before = *rig.Device(kVideoProcAmpFamily, VideoProcAmp_Brightness);
    for (std::int32_t value = 10; value <= 20; ++value) {   // a drag
        rig.Brightness().value = value;
        rig.engine->SetCameraProperty(rig.Brightness());
    }
    rig.engine->TriggerStill();
    // Nothing has reached the device yet: the calls only queued their requests.
    EXPECT_EQ(rig.Device(kVideoProcAmpFamily, VideoProcAmp_Brightness), before);
    EXPECT_EQ(rig.Brightness().value, 20);   // the cache has the value at once

    // The first value went out at once, the others merged into the latest; then the trigger.
    ASSERT_TRUE(rig.host.WaitForStills(1, std::chrono::milliseconds(6 * kSlowDeviceMs)));
    EXPECT_EQ(atStill, 20);
    EXPECT_TRUE(rig.host.Failures().empty());
}

struct FailureCase {
    const char* name;
    DeviceRequestFailure::Kind kind;
    enum class Unplug { No, Before, WhileQueued } unplug;
};

void PrintTo(const FailureCase& c, std::ostream* out)
{
    *out << c.name;
}

class FailedRequests : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailedRequests, ComeBackToTheHostAsAnEventFromTheQueuesThread)
{
    const FailureCase& c = GetParam();
    QueueRig rig;
    ASSERT_TRUE(rig.engine->HasGraph());
    if (c.unplug == FailureCase::Unplug::Before)
        rig.source->Unplug(rig.path);
    if (c.unplug == FailureCase::Unplug::WhileQueued) {
        // A change the device takes keeps the queue busy while the request behind it waits.
        rig.engine->WaitForDevice();
        rig.SlowDown(300);
        rig.Brightness().value = 40;
        rig.engine->SetCameraProperty(rig.Brightness());
    }
    if (c.kind == DeviceRequestFailure::Kind::Property) {
        rig.Brightness().value = 100000;   // beyond any range: the device refuses it
        rig.engine->SetCameraProperty(rig.Brightness());
    } else {
        rig.engine->TriggerStill();
    }
    if (c.unplug == FailureCase::Unplug::WhileQueued)
        rig.source->Unplug(rig.path);
    rig.engine->WaitForDevice();

    // The change that keeps the queue busy may fail too, when the unplug comes before it starts.
    std::vector<Failure> failures = rig.host.Failures();
    std::erase_if(failures, [&](const Failure& f) { return f.failure.kind != c.kind; });
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(failures[0].failure.kind, c.kind);
    EXPECT_TRUE(Failed(failures[0].failure.result));
    EXPECT_NE(failures[0].thread, std::this_thread::get_id());
    if (c.kind == DeviceRequestFailure::Kind::Property) {
        EXPECT_EQ(failures[0].failure.family, kVideoProcAmpFamily);
        EXPECT_EQ(failures[0].failure.index, VideoProcAmp_Brightness);
        EXPECT_EQ(rig.Brightness().value, 100000) << "the table keeps what the window asked for";
    }
}

INSTANTIATE_TEST_SUITE_P(
    EngineQueue, FailedRequests,
    ::testing::Values(
        FailureCase {"RefusedValue", DeviceRequestFailure::Kind::Property, FailureCase::Unplug::No},
        FailureCase {"ChangeAfterUnplug", DeviceRequestFailure::Kind::Property, FailureCase::Unplug::Before},
        FailureCase {"TriggerUnpluggedWhileWaiting", DeviceRequestFailure::Kind::StillTrigger,
                     FailureCase::Unplug::WhileQueued}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EngineQueue, UnplugWithWorkQueuedDropsItAndLeavesNoThread)
{
    const std::size_t threadsBefore = ThreadCount();
    QueueRig rig;
    ASSERT_TRUE(rig.engine->HasGraph());
    rig.engine->WaitForDevice();
    rig.SlowDown(kSlowDeviceMs);
    rig.Brightness().value = 30;
    rig.engine->SetCameraProperty(rig.Brightness());   // under way
    for (int index : {VideoProcAmp_Contrast, VideoProcAmp_Saturation}) {
        CameraProperty& slot = rig.engine->Property(kVideoProcAmpFamily, index);
        slot.value = 33;
        rig.engine->SetCameraProperty(slot);           // waiting
    }
    rig.engine->TriggerStill();

    // What the window does on the removal; the requests left fail at once on a device that is gone.
    rig.source->Unplug(rig.path);
    rig.engine->StopCapture();
    rig.engine->ReleasePropertyInterfaces();
    rig.engine->SetScannerFilter(nullptr);
    EXPECT_FALSE(rig.engine->HasGraph());
    EXPECT_EQ(rig.Device(kVideoProcAmpFamily, VideoProcAmp_Contrast), 70) << "the Negative preset's, untouched";
    rig.engine.reset();
    EXPECT_EQ(ThreadCountOnceExited(threadsBefore), threadsBefore);
}

TEST(EngineQueue, ClosingWithWorkQueuedSendsItBeforeTheFilterGoes)
{
    const std::size_t threadsBefore = ThreadCount();
    std::shared_ptr<sim::SimulatedDeviceSource> source;
    std::string path;
    {
        QueueRig rig;
        ASSERT_TRUE(rig.engine->HasGraph());
        rig.engine->WaitForDevice();
        rig.SlowDown(200);
        for (std::int32_t value : {5, 6, 7}) {
            rig.Brightness().value = value;
            rig.engine->SetCameraProperty(rig.Brightness());
        }
        source = rig.source;
        path = rig.path;
        rig.engine->StopCapture();   // the close
        rig.engine.reset();
    }
    EXPECT_EQ(source->PropertyValue(path, kVideoProcAmpFamily, VideoProcAmp_Brightness), 7);
    EXPECT_EQ(ThreadCountOnceExited(threadsBefore), threadsBefore);
}

} // namespace
} // namespace vistrel::test
