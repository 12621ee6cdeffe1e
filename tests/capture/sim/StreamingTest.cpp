// Running, stopping, busy devices, triggers, plugging and unplugging, and the device list.
#include <gtest/gtest.h>

#include <set>

#include "RunningDevice.h"

namespace vistrel::sim::test {
namespace {

constexpr HRESULT kNotConnected = HresultFromWin32(ERROR_DEVICE_NOT_CONNECTED);

TEST(Streaming, StopAndReleaseLeaveNoThreadBehind)
{
    const std::size_t idle = ThreadCount();
    {
        RunningDevice scanner;
        ASSERT_EQ(scanner.filter->Run(), S_OK);
        ASSERT_TRUE(scanner.live->WaitForCount(2));
        EXPECT_GT(ThreadCount(), idle);
        ASSERT_EQ(scanner.filter->Stop(), S_OK);
        EXPECT_EQ(ThreadCountOnceExited(idle), idle);
        FilterState state = FilterState::Running;
        ASSERT_EQ(scanner.filter->GetState(0, &state), S_OK);
        EXPECT_EQ(state, FilterState::Stopped);

        // Running again works, and dropping every reference while running also ends the threads.
        ASSERT_EQ(scanner.filter->Run(), S_OK);
        ASSERT_EQ(scanner.Trigger(), S_OK);
        scanner.capture->Disconnect();
        scanner.still->Disconnect();
        scanner.capture.reset();
        scanner.still.reset();
        scanner.filter.reset();
        EXPECT_EQ(ThreadCountOnceExited(idle), idle);
    }
    {
        RunningDevice scanner;
        ASSERT_EQ(scanner.filter->Run(), S_OK);
        ASSERT_EQ(scanner.Trigger(), S_OK); // pending while the source goes away
        scanner.source.Unplug(scanner.path);
        EXPECT_EQ(ThreadCountOnceExited(idle), idle);
    }
    EXPECT_EQ(ThreadCountOnceExited(idle), idle);
}

TEST(Streaming, LiveFramesAreRgb32OfTheCaptureFormat)
{
    RunningDevice scanner({}, {2592, 1944}, {960, 960});
    ASSERT_EQ(scanner.filter->Run(), S_OK);
    ASSERT_TRUE(scanner.live->WaitForCount(1));
    const Received frame = scanner.live->Latest();
    EXPECT_EQ(frame.type.subType, MEDIASUBTYPE_RGB32);
    EXPECT_EQ(frame.bytes.size(), 960u * 960u * 4u);
    EXPECT_NE(frame.thread, std::this_thread::get_id());
    EXPECT_EQ(scanner.stills->Count(), 0u) << "no still without a trigger";
}

TEST(Streaming, ABusyDeviceRefusesToRunAndStartsNothing)
{
    DeviceOptions options;
    options.faults.busy = true;
    const std::size_t idle = ThreadCount();
    RunningDevice scanner(options);
    EXPECT_EQ(scanner.filter->Run(), HresultFromWin32(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(HresultFromWin32(ERROR_SHARING_VIOLATION), MakeResult(0x80070020u));
    EXPECT_EQ(ThreadCountOnceExited(idle), idle);
    FilterState state = FilterState::Running;
    scanner.filter->GetState(0, &state);
    EXPECT_EQ(state, FilterState::Stopped);

    ScannerFaults faults = scanner.source.Faults(scanner.path);
    faults.busy = false;
    scanner.source.SetFaults(scanner.path, faults);
    EXPECT_EQ(scanner.filter->Run(), S_OK) << "free again";
}

TEST(Streaming, AnIgnoredTriggerYieldsNoStill)
{
    DeviceOptions options;
    options.faults.stillDelayMs = 0;
    options.faults.ignoreTrigger = true;
    RunningDevice scanner(options, {1280, 960});
    ASSERT_EQ(scanner.filter->Run(), S_OK);
    ASSERT_EQ(scanner.Trigger(), S_OK) << "the trigger itself is accepted";

    // A later trigger that is answered arrives alone: the ignored one would have come first.
    ScannerFaults faults = scanner.source.Faults(scanner.path);
    faults.ignoreTrigger = false;
    faults.stillDelayMs = 20;
    scanner.source.SetFaults(scanner.path, faults);
    ASSERT_EQ(scanner.Trigger(), S_OK);
    ASSERT_TRUE(scanner.stills->WaitForCount(1));
    ASSERT_EQ(scanner.filter->Stop(), S_OK);
    EXPECT_EQ(scanner.stills->Count(), 1u);
}

TEST(Streaming, EachTriggerGivesOneStillInOrder)
{
    DeviceOptions options;
    options.faults.stillDelayMs = 10;
    RunningDevice scanner(options, {1280, 960});
    ASSERT_EQ(scanner.Trigger(), S_OK) << "accepted while stopped";
    ASSERT_EQ(scanner.filter->Run(), S_OK);
    ASSERT_EQ(scanner.Trigger(), S_OK);
    ASSERT_EQ(scanner.Trigger(), S_OK);
    ASSERT_TRUE(scanner.stills->WaitForCount(2));
    ASSERT_EQ(scanner.filter->Stop(), S_OK);
    EXPECT_EQ(scanner.stills->Count(), 2u) << "a trigger while stopped is not kept for later";
    std::int32_t mode = -1;
    ASSERT_EQ(scanner.filter->QueryVideoControl()->GetMode(scanner.still, &mode), S_OK);
    EXPECT_EQ(mode & VideoControlFlag_Trigger, 0);
    EXPECT_TRUE(Failed(scanner.filter->QueryVideoControl()->SetMode(scanner.capture, VideoControlFlag_Trigger)));
}

TEST(Streaming, UnplugStopsStreamingAndEveryDeviceCallFails)
{
    const std::size_t idle = ThreadCount();
    RunningDevice scanner;
    ASSERT_EQ(scanner.filter->Run(), S_OK);
    ASSERT_TRUE(scanner.live->WaitForCount(1));
    scanner.source.Unplug(scanner.path);
    EXPECT_EQ(ThreadCountOnceExited(idle), idle);
    const std::size_t delivered = scanner.live->Count();

    auto& filter = *scanner.filter;
    EXPECT_EQ(filter.Run(), kNotConnected);
    std::uint32_t nodes = 0, returned = 0;
    EXPECT_EQ(filter.QueryKsTopologyInfo()->get_NumNodes(&nodes), kNotConnected);
    KSP_NODE request {PROPSETID_ScannerExtensionUnit, 0, KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_SETSUPPORT, 3, 0};
    std::uint32_t reply = 0;
    EXPECT_EQ(filter.QueryKsControl()->KsProperty(request, &reply, 4, &returned), kNotConnected);
    std::int32_t a, b, c, d, e;
    EXPECT_EQ(filter.QueryVideoProcAmp()->GetRange(VideoProcAmp_Brightness, &a, &b, &c, &d, &e), kNotConnected);
    EXPECT_EQ(filter.QueryCameraControl()->Set(CameraControl_Roll, 1, 0), kNotConnected);
    EXPECT_EQ(filter.QueryVideoControl()->SetMode(scanner.still, VideoControlFlag_Trigger), kNotConnected);
    MediaType mt;
    EXPECT_EQ(scanner.capture->QueryStreamConfig()->GetFormat(&mt), kNotConnected);
    Guid category;
    EXPECT_EQ(scanner.still->QueryKsPropertySet()->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                                                       sizeof category, &returned),
              kNotConnected);
    EXPECT_EQ(scanner.capture->Connect(std::make_shared<CollectingPin>(), nullptr), kNotConnected);

    // A graph holding the dead filter can still be stopped and taken apart.
    EXPECT_EQ(filter.Stop(), S_OK);
    FilterState state = FilterState::Running;
    EXPECT_EQ(filter.GetState(100, &state), S_OK);
    EXPECT_EQ(state, FilterState::Stopped);
    std::shared_ptr<IPin> peer;
    EXPECT_EQ(scanner.capture->ConnectedTo(&peer), VFW_E_NOT_CONNECTED) << "the removed device lets go downstream";
    EXPECT_EQ(scanner.live->Count(), delivered);
}

TEST(Streaming, ReplugGivesAFreshDeviceWhileTheOldFilterStaysDead)
{
    RunningDevice scanner;
    ASSERT_EQ(scanner.Set(1, CameraControl_Roll, 1), S_OK);
    scanner.source.Unplug(scanner.path);
    EXPECT_FALSE(Bind(scanner.source, scanner.path)) << "an unplugged device is not listed";
    scanner.source.Plug(scanner.path);

    auto fresh = Bind(scanner.source, scanner.path);
    ASSERT_TRUE(fresh);
    EXPECT_NE(fresh, scanner.filter);
    EXPECT_EQ(scanner.filter->Run(), kNotConnected);
    EXPECT_EQ(scanner.source.PropertyValue(scanner.path, 1, CameraControl_Roll), 0) << "power-on state again";
    EXPECT_EQ(fresh->Run(), S_OK);
    EXPECT_EQ(fresh->Stop(), S_OK);
}

TEST(Devices, PlugAndUnplugNotifyTheSinkWithTheDevicePath)
{
    SimulatedDeviceSource source;
    DeviceOptions cameraOptions;
    cameraOptions.kind = DeviceOptions::Kind::Camera;
    const std::string camera = source.AddDevice(cameraOptions);
    std::vector<DeviceChange> changes;
    source.SetChangeSink([&](const DeviceChange& change) { changes.push_back(change); });
    const std::string scanner = source.AddDevice({});

    source.Unplug(scanner);
    source.Unplug(scanner); // already gone: no second removal
    source.Plug(scanner);
    source.Plug(scanner);
    source.Unplug(camera);
    source.Unplug("\\\\?\\usb#vid_1234&pid_0000#unknown");

    struct Expected {
        std::uint32_t event;
        std::string name;
    };
    const Expected expected[] = {
        {DBT_DEVICEARRIVAL, scanner},
        {DBT_DEVICEREMOVECOMPLETE, scanner},
        {DBT_DEVICEARRIVAL, scanner},
        {DBT_DEVICEREMOVECOMPLETE, camera},
    };
    ASSERT_EQ(changes.size(), std::size(expected));
    for (std::size_t i = 0; i < changes.size(); ++i) {
        EXPECT_EQ(changes[i].event, expected[i].event) << i;
        EXPECT_EQ(changes[i].name, expected[i].name) << i;
        EXPECT_EQ(changes[i].interfaceClass, KSCATEGORY_CAPTURE) << i;
    }
    std::vector<std::shared_ptr<IMoniker>> listed;
    source.AppendVideoInputDevices(&listed);
    EXPECT_EQ(listed.size(), 1u) << "the unplugged camera is not listed";
    EXPECT_EQ((source.DevicePaths()), (std::vector<std::string> {camera, scanner})) << "but still known";
}

TEST(Devices, AFailingBindStillOffersTheDevicePathAndName)
{
    SimulatedDeviceSource source;
    DeviceOptions options;
    options.faults.failBind = true;
    const std::string path = source.AddDevice(options);
    auto moniker = MonikerFor(source, path);
    ASSERT_TRUE(moniker);
    std::shared_ptr<IBaseFilter> filter;
    EXPECT_TRUE(Failed(moniker->BindToObject(&filter)));
    EXPECT_FALSE(filter);
    std::shared_ptr<IPropertyBag> bag;
    ASSERT_EQ(moniker->BindToStorage(&bag), S_OK);
    std::string name;
    EXPECT_EQ(bag->Read("FriendlyName", &name), S_OK);
    EXPECT_FALSE(name.empty());
    EXPECT_TRUE(Failed(bag->Read("NoSuchProperty", &name)));
}

TEST(Devices, TheDeviceListNamesScannersAndCamerasInOrder)
{
    struct Case {
        const char* list;
        std::vector<const char*> identities;
    };
    const Case cases[] = {
        {"scanner", {"vid_8888&pid_0001"}},
        {"camera,scanner", {"vid_046d&pid_0825", "vid_8888&pid_0001"}},
        {" Camera , SCANNER ,camera", {"vid_046d&pid_0825", "vid_8888&pid_0001", "vid_046d&pid_0825"}},
        {"camera,,toaster,scanner", {"vid_046d&pid_0825", "vid_8888&pid_0001"}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list);
        auto source = SimulatedDeviceSource::FromList(c.list);
        const auto paths = source->DevicePaths();
        ASSERT_EQ(paths.size(), c.identities.size());
        for (std::size_t i = 0; i < paths.size(); ++i) {
            EXPECT_NE(paths[i].find(c.identities[i]), std::string::npos) << paths[i];
            EXPECT_EQ(paths[i].rfind("\\\\?\\usb#", 0), 0u) << paths[i];
            EXPECT_NE(paths[i].find("{65e8773d-8f56-11d0-a3b9-00a0c9223196}"), std::string::npos);
        }
        const std::set<std::string> unique(paths.begin(), paths.end());
        EXPECT_EQ(unique.size(), paths.size()) << "every device has its own path";
    }
}

} // namespace
} // namespace vistrel::sim::test
