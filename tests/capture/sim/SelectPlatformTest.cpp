// The backend choice from the environment, and the simulated scanner running in the real graph runtime.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "SimTestSupport.h"
#include "capture/SelectPlatform.h"
#include "capture/sim/SyntheticScene.h"

namespace vistrel::sim::test {
namespace {

std::vector<std::string> ListedPaths(ICapturePlatform& platform)
{
    std::shared_ptr<ICreateDevEnum> enumerator;
    std::vector<std::shared_ptr<IMoniker>> devices;
    std::vector<std::string> paths;
    if (Failed(platform.CreateDeviceEnumerator(&enumerator)) ||
        Failed(enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &devices)))
        return paths;
    for (auto& d : devices) {
        std::shared_ptr<IPropertyBag> bag;
        std::string path;
        if (d->BindToStorage(&bag) == S_OK && bag->Read("DevicePath", &path) == S_OK)
            paths.push_back(path);
    }
    return paths;
}

class SelectPlatformTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/vistrel-sim-select-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        folder = pattern;
        unsetenv("VISTREL_SIMULATOR_CONTROL");
        unsetenv("VISTREL_SIMULATOR_IMAGE");
    }
    void TearDown() override
    {
        unsetenv("VISTREL_SIMULATOR");
        unsetenv("VISTREL_SIMULATOR_CONTROL");
        std::filesystem::remove_all(folder);
    }
    std::filesystem::path folder;
};

TEST_F(SelectPlatformTest, TheSimulatorListNamesTheDevicesInOrder)
{
    setenv("VISTREL_SIMULATOR", "camera,scanner", 1);
    auto platform = MakePlatformFromEnvironment();
    ASSERT_TRUE(platform);
    const auto paths = ListedPaths(*platform);
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_NE(paths[0].find("vid_046d&pid_0825"), std::string::npos);
    EXPECT_NE(paths[1].find("vid_8888&pid_0001"), std::string::npos);
}

TEST_F(SelectPlatformTest, TheControlFifoUnplugsThroughTheNotificationPath)
{
    const std::string fifo = (folder / "control").string();
    setenv("VISTREL_SIMULATOR", "scanner", 1);
    setenv("VISTREL_SIMULATOR_CONTROL", fifo.c_str(), 1);
    const std::size_t before = ThreadCount();
    {
        auto platform = MakePlatformFromEnvironment();
        ASSERT_TRUE(platform);
        const std::string scanner = ListedPaths(*platform).at(0);
        std::mutex mutex;
        std::vector<DeviceChange> changes;
        const auto handle = platform->DeviceNotifications().Register(KSCATEGORY_CAPTURE, [&](const DeviceChange& c) {
            std::lock_guard lock(mutex);
            changes.push_back(c);
        });
        ASSERT_NE(handle, 0u);

        const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        const std::string command = "unplug\n";
        ASSERT_EQ(write(fd, command.data(), command.size()), ssize_t(command.size()));
        close(fd);
        ASSERT_TRUE(Eventually([&] {
            std::lock_guard lock(mutex);
            return !changes.empty();
        }));
        {
            std::lock_guard lock(mutex);
            EXPECT_EQ(changes[0].event, DBT_DEVICEREMOVECOMPLETE);
            EXPECT_EQ(changes[0].name, scanner);
        }
        EXPECT_TRUE(ListedPaths(*platform).empty());
        platform->DeviceNotifications().Unregister(handle);
    }
    EXPECT_TRUE(Eventually([&] { return ThreadCount() == before; })) << "the control reader ends with the platform";
}

// Keeps the newest frame the renderer presents.
class Surface : public IVideoSurface {
public:
    void PlacementChanged(const VideoPlacement&) override {}
    void PresentFrame(std::shared_ptr<const VideoFrame> frame) override
    {
        std::lock_guard lock(mutex);
        latest = std::move(frame);
    }
    std::shared_ptr<const VideoFrame> Latest()
    {
        std::lock_guard lock(mutex);
        return latest;
    }

private:
    std::mutex mutex;
    std::shared_ptr<const VideoFrame> latest;
};

class StillCollector : public ISampleGrabberCB {
public:
    HRESULT QueryInterface(const Guid&, void**) override { return E_NOINTERFACE; }
    std::uint32_t AddRef() override { return 2; }
    std::uint32_t Release() override { return 1; }
    HRESULT SampleCB(double, const MediaSample&) override { return S_OK; }
    HRESULT BufferCB(double, const std::uint8_t* buffer, std::int32_t length) override
    {
        std::lock_guard lock(mutex);
        stills.emplace_back(buffer, buffer + length);
        return S_OK;
    }
    std::vector<std::vector<std::uint8_t>> Stills()
    {
        std::lock_guard lock(mutex);
        return stills;
    }

private:
    std::mutex mutex;
    std::vector<std::vector<std::uint8_t>> stills;
};

TEST_F(SelectPlatformTest, TheGraphRuntimeShowsTheLivePictureUprightAndDeliversStills)
{
    setenv("VISTREL_SIMULATOR", "scanner", 1);
    auto platform = MakePlatformFromEnvironment();
    ASSERT_TRUE(platform);
    std::shared_ptr<ICreateDevEnum> enumerator;
    ASSERT_EQ(platform->CreateDeviceEnumerator(&enumerator), S_OK);
    std::vector<std::shared_ptr<IMoniker>> devices;
    enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &devices);
    ASSERT_EQ(devices.size(), 1u);
    std::shared_ptr<IBaseFilter> source;
    ASSERT_EQ(devices[0]->BindToObject(&source), S_OK);
    ASSERT_EQ(source->QueryCameraControl()->Set(CameraControl_Roll, 1, 0), S_OK);
    auto stillPin = PinOfCategory(*source, PIN_CATEGORY_STILL);
    ASSERT_EQ(ChooseFormat(*stillPin, MEDIASUBTYPE_MJPG, 2592, 1944), S_OK);

    std::shared_ptr<IGraphBuilder> graph;
    std::shared_ptr<ICaptureGraphBuilder2> builder;
    std::shared_ptr<ISampleGrabber> grabber;
    std::shared_ptr<IBaseFilter> nullRenderer;
    ASSERT_EQ(platform->CreateFilterGraph(&graph), S_OK);
    ASSERT_EQ(platform->CreateCaptureGraphBuilder(&builder), S_OK);
    ASSERT_EQ(platform->CreateSampleGrabber(&grabber), S_OK);
    ASSERT_EQ(platform->CreateNullRenderer(&nullRenderer), S_OK);
    StillCollector collector;
    Surface surface;
    builder->SetFiltergraph(graph);
    ASSERT_EQ(graph->AddFilter(source, "Device Source"), S_OK);
    ASSERT_EQ(grabber->SetCallback(&collector, 1), S_OK);
    std::shared_ptr<IPin> capturePin;
    ASSERT_EQ(builder->FindPin(source, PinDirection::Output, &PIN_CATEGORY_CAPTURE, nullptr, true, 0, &capturePin), S_OK);
    ASSERT_EQ(builder->RenderStream(nullptr, nullptr, nullptr, capturePin, nullptr, nullptr), S_OK);
    ASSERT_EQ(graph->AddFilter(nullRenderer, "Null Render"), S_OK);
    ASSERT_EQ(graph->AddFilter(grabber->AsFilter(), "SG_Still"), S_OK);
    ASSERT_EQ(builder->RenderStream(&PIN_CATEGORY_STILL, &MEDIATYPE_Video, source, nullptr, grabber->AsFilter(),
                                    nullRenderer),
              S_OK);
    auto window = graph->QueryVideoWindow();
    ASSERT_TRUE(window);
    window->put_Owner(&surface);
    window->SetWindowPosition(0, 0, 400, 300);
    window->put_Visible(OATRUE);
    auto control = graph->QueryMediaControl();
    HRESULT hr = control->Run();
    FilterState state = FilterState::Stopped;
    for (int i = 0; hr == S_FALSE && i < 100; ++i)
        hr = control->GetState(100, &state);
    ASSERT_TRUE(Succeeded(hr));

    ASSERT_TRUE(Eventually([&] { return surface.Latest() != nullptr; }));
    ASSERT_EQ(source->QueryVideoControl()->SetMode(stillPin, VideoControlFlag_Trigger), S_OK);
    ASSERT_TRUE(Eventually([&] { return !collector.Stills().empty(); }));

    const auto frame = surface.Latest();
    RgbImage picture(frame->width, frame->height);
    for (std::int32_t y = 0; y < frame->height; ++y)
        for (std::int32_t x = 0; x < frame->width; ++x) {
            const std::uint8_t* p = frame->pixels.data() + std::size_t(y) * frame->stride + 4 * std::size_t(x);
            std::uint8_t* q = picture.Row(y) + 3 * x;
            q[0] = p[2], q[1] = p[1], q[2] = p[0];
        }
    const PixelRect sun = SyntheticScene::SunRect(picture.width, picture.height);
    const Colour sunColour = Sample(picture, sun.CentreX(), sun.CentreY(), 2);
    EXPECT_GT(sunColour.r, sunColour.b + 60) << "the sun stays in the top left corner on screen";
    const PixelRect ramp = SyntheticScene::GreyStepRect(7, picture.width, picture.height);
    EXPECT_GT(Sample(picture, ramp.CentreX(), ramp.CentreY(), 1).g, 150) << "white at the right end of the ramp";

    const auto still = DecodeJpeg(collector.Stills().front());
    ASSERT_TRUE(still);
    EXPECT_EQ(still->width, 2592);
    EXPECT_EQ(still->height, 1944);

    control->Stop();
    for (int i = 0; i < 100 && control->GetState(100, &state) != S_OK; ++i) {
    }
    EXPECT_EQ(state, FilterState::Stopped);
}

} // namespace
} // namespace vistrel::sim::test
