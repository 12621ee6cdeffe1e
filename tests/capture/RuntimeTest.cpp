#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "EngineTestSupport.h"
#include "capture/runtime/CapturePlatform.h"
#include "capture/runtime/FilterGraph.h"
#include "capture/runtime/FrameConverter.h"
#include "capture/runtime/LatestFrameMailbox.h"
#include "capture/runtime/NullRenderer.h"
#include "capture/runtime/SampleGrabber.h"
#include "capture/runtime/VideoRenderer.h"
#include "capture/runtime/DevicePropertyBag.h"
#include "capture/runtime/UsbLocationOrder.h"

namespace vistrel::test {
namespace {

struct Bgr {
    int b, g, r;
};

Bgr PixelAt(const VideoFrame& frame, int x, int y)
{
    const std::uint8_t* p = frame.pixels.data() + static_cast<std::size_t>(y) * frame.stride + 4 * x;
    return {p[0], p[1], p[2]};
}

void ExpectNear(const Bgr& actual, const Bgr& expected, int tolerance, const char* where)
{
    EXPECT_NEAR(actual.b, expected.b, tolerance) << where;
    EXPECT_NEAR(actual.g, expected.g, tolerance) << where;
    EXPECT_NEAR(actual.r, expected.r, tolerance) << where;
}

// A JPEG with a red left half and a blue right half.
std::vector<std::uint8_t> RedBlueJpeg(int width, int height)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = x < width / 2 ? 255 : 0;
            p[1] = 0;
            p[2] = x < width / 2 ? 0 : 255;
        }
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_444, 95, 0);
    std::vector<std::uint8_t> out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}

struct RendererRig {
    std::shared_ptr<VideoRenderer> renderer = VideoRenderer::Create();
    TestSurface surface;

    RendererRig(int width, int height)
    {
        renderer->put_Owner(&surface);
        renderer->SetWindowPosition(0, 0, width, height);
        renderer->put_Visible(OATRUE);
    }

    std::shared_ptr<const VideoFrame> Render(const MediaType& type, const std::vector<std::uint8_t>& bytes)
    {
        MediaSample sample {bytes.data(), static_cast<std::int32_t>(bytes.size()), 0.0, &type};
        EXPECT_EQ(renderer->Render(sample), S_OK);
        auto frame = surface.mailbox.Take();
        return frame ? *frame : nullptr;
    }
};

TEST(LatestFrameMailbox, KeepsOnlyTheNewestValue)
{
    LatestFrameMailbox<int> mailbox;
    EXPECT_TRUE(mailbox.Post(1));
    EXPECT_FALSE(mailbox.Post(2));
    EXPECT_FALSE(mailbox.Post(3));
    EXPECT_EQ(mailbox.Take(), 3);
    EXPECT_EQ(mailbox.Take(), std::nullopt);
    EXPECT_EQ(mailbox.Replaced(), 2u);
    EXPECT_TRUE(mailbox.Post(4));
    mailbox.Clear();
    EXPECT_FALSE(mailbox.HasValue());
}

TEST(LatestFrameMailbox, AConsumerOnAnotherThreadSeesValuesInOrderAndTheLastOne)
{
    LatestFrameMailbox<int> mailbox;
    constexpr int kCount = 20000;
    std::thread producer([&] {
        for (int i = 1; i <= kCount; ++i)
            mailbox.Post(i);
    });
    int last = 0;
    while (last < kCount) {
        if (const auto v = mailbox.Take()) {
            ASSERT_GT(*v, last);
            last = *v;
        } else {
            std::this_thread::yield();
        }
    }
    producer.join();
    EXPECT_EQ(last, kCount);
}

TEST(FrameConverter, ChoosesTheSmallestFastDctScaleCoveringTheTarget)
{
    struct Case {
        int w, h, tw, th, numerator;
    };
    // A scale that falls short of the target by at most a 32nd is taken: 640 x 480 serves 648 x 486.
    const Case cases[] = {
        {1280, 960, 648, 486, 4}, {1280, 960, 640, 480, 4}, {1280, 960, 662, 496, 8}, {1280, 960, 160, 120, 1},
        {1280, 960, 161, 120, 1}, {1280, 960, 166, 124, 2}, {1280, 960, 2000, 1500, 8}, {1280, 960, 1280, 960, 8},
        {2592, 1944, 486, 486, 2}, {2592, 1944, 648, 486, 2}, {1280, 960, 321, 240, 2}, {1280, 960, 331, 248, 4},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FrameConverter::ScaleNumeratorFor(c.w, c.h, c.tw, c.th), c.numerator) << c.tw << "x" << c.th;
}

TEST(VideoRenderer, DecodesMjpegIntoAFrameOfItsWindowSize)
{
    RendererRig rig(48, 30);
    const MediaType type = MakeVideoInfoType(MEDIASUBTYPE_MJPG, 128, 96);
    const auto frame = rig.Render(type, RedBlueJpeg(128, 96));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->width, 48);
    EXPECT_EQ(frame->height, 30);
    EXPECT_EQ(frame->stride, 48 * 4);
    ExpectNear(PixelAt(*frame, 5, 15), {0, 0, 255}, 12, "left is red");
    ExpectNear(PixelAt(*frame, 42, 15), {255, 0, 0}, 12, "right is blue");
}

// Near the window's size the decoder's own output is the frame: no resampling pass, the surface
// stretches it as it paints.
TEST(VideoRenderer, KeepsTheDecodedSizeWhenItIsCloseToTheWindow)
{
    RendererRig rig(648, 486);
    const auto frame = rig.Render(MakeVideoInfoType(MEDIASUBTYPE_MJPG, 1280, 960), RedBlueJpeg(1280, 960));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->width, 640);
    EXPECT_EQ(frame->height, 480);
    EXPECT_EQ(frame->stride, 640 * 4);
    ExpectNear(PixelAt(*frame, 40, 240), {0, 0, 255}, 12, "left is red");
    ExpectNear(PixelAt(*frame, 600, 240), {255, 0, 0}, 12, "right is blue");
}

TEST(VideoRenderer, ConvertsYuy2WithStudioRange)
{
    RendererRig rig(4, 2);
    // Pairs: black, white; red, red (BT.601: Y 81, U 90, V 240).
    const std::vector<std::uint8_t> yuy2 {16, 128, 235, 128, 16, 128, 235, 128, 81, 90, 81, 240, 81, 90, 81, 240};
    const auto frame = rig.Render(MakeVideoInfoType(MEDIASUBTYPE_YUY2, 4, 2, 0, 16), yuy2);
    ASSERT_NE(frame, nullptr);
    ExpectNear(PixelAt(*frame, 0, 0), {0, 0, 0}, 2, "black");
    ExpectNear(PixelAt(*frame, 1, 0), {255, 255, 255}, 2, "white");
    ExpectNear(PixelAt(*frame, 2, 1), {0, 0, 255}, 4, "red");
}

TEST(VideoRenderer, ShowsRgb32BottomUpBitmapsUpright)
{
    RendererRig rig(2, 2);
    // The first row in memory is the bottom of the picture: blue; the top row is red.
    const std::vector<std::uint8_t> rgb32 {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0};
    auto frame = rig.Render(MakeVideoInfoType(MEDIASUBTYPE_RGB32, 2, 2, 0, 32), rgb32);
    ASSERT_NE(frame, nullptr);
    ExpectNear(PixelAt(*frame, 0, 0), {0, 0, 255}, 0, "top is red");
    ExpectNear(PixelAt(*frame, 1, 1), {255, 0, 0}, 0, "bottom is blue");

    // A negative height is a top-down bitmap.
    frame = rig.Render(MakeVideoInfoType(MEDIASUBTYPE_RGB32, 2, -2, 0, 32), rgb32);
    ASSERT_NE(frame, nullptr);
    ExpectNear(PixelAt(*frame, 0, 0), {255, 0, 0}, 0, "top is blue");
}

TEST(VideoRenderer, DropsFramesItCannotShowOrCannotRead)
{
    struct Case {
        const char* name;
        bool owner;
        bool visible;
        MediaType type;
        std::vector<std::uint8_t> bytes;
    };
    const std::vector<std::uint8_t> jpeg = RedBlueJpeg(32, 32);
    const Case cases[] = {
        {"NoOwner", false, true, MakeVideoInfoType(MEDIASUBTYPE_MJPG, 32, 32), jpeg},
        {"Hidden", true, false, MakeVideoInfoType(MEDIASUBTYPE_MJPG, 32, 32), jpeg},
        {"NotAJpeg", true, true, MakeVideoInfoType(MEDIASUBTYPE_MJPG, 32, 32), std::vector<std::uint8_t>(500, 0x42)},
        {"TruncatedJpegHeader", true, true, MakeVideoInfoType(MEDIASUBTYPE_MJPG, 32, 32), {jpeg.begin(), jpeg.begin() + 20}},
        {"ShortYuy2", true, true, MakeVideoInfoType(MEDIASUBTYPE_YUY2, 64, 64, 0, 16), std::vector<std::uint8_t>(100)},
        {"ShortRgb32", true, true, MakeVideoInfoType(MEDIASUBTYPE_RGB32, 64, 64, 0, 32), std::vector<std::uint8_t>(100)},
        {"UnknownSubtype", true, true, MakeVideoInfoType(MEDIATYPE_Video, 4, 4), std::vector<std::uint8_t>(64)},
    };
    for (const auto& c : cases) {
        RendererRig rig(16, 16);
        if (!c.owner)
            rig.renderer->put_Owner(nullptr);
        if (!c.visible)
            rig.renderer->put_Visible(OAFALSE);
        MediaSample sample {c.bytes.data(), static_cast<std::int32_t>(c.bytes.size()), 0.0, &c.type};
        EXPECT_EQ(rig.renderer->Render(sample), S_OK) << c.name;
        EXPECT_EQ(rig.surface.Presented(), 0u) << c.name;
    }
}

// Fails the test if called after it was detached.
class DetachWatchingSurface : public IVideoSurface {
public:
    std::atomic<bool> detached {false};
    std::atomic<int> lateCalls {0};
    std::atomic<int> frames {0};
    void PlacementChanged(const VideoPlacement&) override {}
    void PresentFrame(std::shared_ptr<const VideoFrame>) override
    {
        if (detached)
            ++lateCalls;
        ++frames;
    }
};

TEST(VideoRenderer, NeverCallsTheOwnerAfterItWasTakenAway)
{
    for (int round = 0; round < 10; ++round) {
        auto renderer = VideoRenderer::Create();
        DetachWatchingSurface surface;
        renderer->put_Owner(&surface);
        renderer->SetWindowPosition(0, 0, 8, 8);
        renderer->put_Visible(OATRUE);
        const MediaType type = MakeVideoInfoType(MEDIASUBTYPE_RGB32, 8, 8, 0, 32);
        const std::vector<std::uint8_t> pixels(8 * 8 * 4, 0x80);
        std::atomic<bool> stop {false};
        std::thread streaming([&] {
            MediaSample sample {pixels.data(), static_cast<std::int32_t>(pixels.size()), 0.0, &type};
            while (!stop) {
                renderer->Render(sample);
                std::this_thread::yield();
            }
        });
        while (surface.frames < 3)
            std::this_thread::yield();
        renderer->put_Owner(nullptr);
        surface.detached = true;
        for (int i = 0; i < 200; ++i)
            std::this_thread::yield();
        stop = true;
        streaming.join();
        EXPECT_EQ(surface.lateCalls, 0);
    }
}

// A surface that is not painting: what it is handed stays undecoded.
class NotPaintingSurface : public IVideoSurface {
public:
    void PlacementChanged(const VideoPlacement&) override {}
    void PresentFrame(std::shared_ptr<const VideoFrame>) override { ++decodedFrames; }
    bool ReadyForFrame() const override { return false; }
    void PresentPending(std::shared_ptr<IPendingFrame> frame) override { pending = std::move(frame); }
    int decodedFrames = 0;
    std::shared_ptr<IPendingFrame> pending;
};

TEST(VideoRenderer, HandsFramesOverUndecodedToASurfaceThatIsNotPainting)
{
    const MediaType type = MakeVideoInfoType(MEDIASUBTYPE_MJPG, 64, 32);
    const std::vector<std::uint8_t> jpeg = RedBlueJpeg(64, 32);
    auto renderer = VideoRenderer::Create();
    NotPaintingSurface surface;
    renderer->put_Owner(&surface);
    renderer->SetWindowPosition(0, 0, 64, 32);
    renderer->put_Visible(OATRUE);
    std::vector<std::uint8_t> bytes = jpeg;
    const MediaSample sample {bytes.data(), static_cast<std::int32_t>(bytes.size()), 0.0, &type};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(renderer->Render(sample), S_OK);
    // The sample's buffer goes back to the device once Render returns.
    std::fill(bytes.begin(), bytes.end(), 0);
    EXPECT_EQ(renderer->FramesDecoded(), 0u);
    EXPECT_EQ(surface.decodedFrames, 0);
    ASSERT_NE(surface.pending, nullptr);

    // Painted after all: the newest sample, just as the streaming path decodes it.
    const auto late = surface.pending->Decode();
    ASSERT_NE(late, nullptr);
    EXPECT_EQ(late->sequence, 3u);
    EXPECT_EQ(renderer->FramesDecoded(), 1u);
    RendererRig rig(64, 32);
    const auto direct = rig.Render(type, jpeg);
    ASSERT_NE(direct, nullptr);
    EXPECT_EQ(late->width, direct->width);
    EXPECT_EQ(late->height, direct->height);
    EXPECT_EQ(late->pixels, direct->pixels);

    // With the renderer gone there is nothing to decode with.
    renderer->put_Owner(nullptr);
    renderer.reset();
    EXPECT_EQ(surface.pending->Decode(), nullptr);
}

TEST(VideoRenderer, ReportsItsPlacementToTheOwner)
{
    auto renderer = VideoRenderer::Create();
    TestSurface surface;
    renderer->put_Owner(&surface);
    renderer->SetWindowPosition(10, 20, 300, 200);
    renderer->put_Visible(OATRUE);
    const VideoPlacement p = surface.Placement();
    EXPECT_EQ(p.left, 10);
    EXPECT_EQ(p.top, 20);
    EXPECT_EQ(p.width, 300);
    EXPECT_EQ(p.height, 200);
    EXPECT_TRUE(p.visible);
    EXPECT_EQ(renderer->SetWindowPosition(0, 0, -1, 5), E_INVALIDARG);
}

TEST(FrameConverter, ResamplingKeepsAFlatColourFlatAndCopiesAtTheSameSize)
{
    const std::vector<std::uint8_t> flat(37 * 23 * 4, 0x5A);
    std::vector<std::uint8_t> out(16 * 9 * 4, 0);
    FrameConverter converter;
    converter.ResampleBilinear(flat.data(), 37, 23, 37 * 4, out.data(), 16, 9, 16 * 4);
    for (const auto v : out)
        ASSERT_EQ(v, 0x5A);

    std::vector<std::uint8_t> ramp(5 * 3 * 4);
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = static_cast<std::uint8_t>(i * 4);
    std::vector<std::uint8_t> same(ramp.size());
    converter.ResampleBilinear(ramp.data(), 5, 3, 20, same.data(), 5, 3, 20);
    EXPECT_EQ(same, ramp);
}

// A filter that answers Run and GetState as told and notes what it was asked.
class ScriptedFilter : public IBaseFilter {
public:
    ScriptedFilter(std::string name, std::shared_ptr<std::vector<std::string>> log, HRESULT runResult = S_OK,
                   int pendingPolls = 0)
        : name(std::move(name)), log(std::move(log)), runResult(runResult), pendingPolls(pendingPolls) {}
    HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>* pins) override { pins->clear(); return S_OK; }
    HRESULT JoinFilterGraph(IFilterGraph*, const std::string&) override { return S_OK; }
    std::string Name() const override { return name; }
    HRESULT Run() override
    {
        log->push_back("run " + name);
        if (Succeeded(runResult))
            state = FilterState::Running;
        return runResult;
    }
    HRESULT Stop() override
    {
        log->push_back("stop " + name);
        state = FilterState::Stopped;
        return S_OK;
    }
    HRESULT GetState(std::uint32_t, FilterState* s) override
    {
        *s = state;
        if (pendingPolls > 0) {
            --pendingPolls;
            return VFW_S_STATE_INTERMEDIATE;
        }
        return S_OK;
    }

private:
    std::string name;
    std::shared_ptr<std::vector<std::string>> log;
    HRESULT runResult;
    int pendingPolls;
    FilterState state = FilterState::Stopped;
};

TEST(FilterGraph, ARunFailureIsReportedAndLeavesTheGraphStopped)
{
    auto log = std::make_shared<std::vector<std::string>>();
    auto graph = FilterGraph::Create();
    const HRESULT busy = HresultFromWin32(ERROR_SHARING_VIOLATION);
    graph->AddFilter(std::make_shared<ScriptedFilter>("a", log), "a");
    graph->AddFilter(std::make_shared<ScriptedFilter>("device", log, busy), "device");
    graph->AddFilter(std::make_shared<ScriptedFilter>("c", log), "c");
    const auto control = graph->QueryMediaControl();

    EXPECT_EQ(control->Run(), busy);
    const std::vector<std::string> expected {"run a", "run device", "stop c", "stop device", "stop a"};
    EXPECT_EQ(*log, expected);
    FilterState state = FilterState::Running;
    EXPECT_EQ(control->GetState(0, &state), S_OK);
    EXPECT_EQ(state, FilterState::Stopped);
}

TEST(FilterGraph, APendingStartIsReportedUntilEveryFilterHasSettled)
{
    auto log = std::make_shared<std::vector<std::string>>();
    auto graph = FilterGraph::Create();
    graph->AddFilter(std::make_shared<ScriptedFilter>("slow", log, S_FALSE, 2), "slow");
    const auto control = graph->QueryMediaControl();
    EXPECT_EQ(control->Run(), S_FALSE);
    FilterState state {};
    EXPECT_EQ(control->GetState(100, &state), VFW_S_STATE_INTERMEDIATE);
    EXPECT_EQ(control->GetState(100, &state), VFW_S_STATE_INTERMEDIATE);
    EXPECT_EQ(control->GetState(100, &state), S_OK);
    EXPECT_EQ(state, FilterState::Running);
}

TEST(FilterGraph, ItsVideoWindowReachesTheRendererInTheGraph)
{
    auto graph = FilterGraph::Create();
    const auto window = graph->QueryVideoWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->put_Visible(OATRUE), E_NOINTERFACE);

    auto renderer = VideoRenderer::Create();
    ASSERT_EQ(graph->AddFilter(renderer, "Video Renderer"), S_OK);
    EXPECT_EQ(graph->AddFilter(renderer, "again"), E_INVALIDARG);
    TestSurface surface;
    EXPECT_EQ(window->put_Owner(&surface), S_OK);
    EXPECT_EQ(window->SetWindowPosition(1, 2, 3, 4), S_OK);
    EXPECT_EQ(renderer->Placement().width, 3);
    EXPECT_EQ(renderer->Name(), "Video Renderer");

    EXPECT_EQ(graph->RemoveFilter(renderer), S_OK);
    EXPECT_EQ(renderer->Name(), "");
    EXPECT_EQ(window->put_Visible(OATRUE), E_NOINTERFACE);
    EXPECT_EQ(graph->RemoveFilter(renderer), VFW_E_NOT_FOUND);
}

class CountingCallback : public ISampleGrabberCB {
public:
    int buffers = 0, samples = 0;
    HRESULT QueryInterface(const Guid&, void**) override { return E_NOINTERFACE; }
    std::uint32_t AddRef() override { return 2; }
    std::uint32_t Release() override { return 1; }
    HRESULT SampleCB(double, const MediaSample&) override { ++samples; return S_OK; }
    HRESULT BufferCB(double, const std::uint8_t*, std::int32_t) override { ++buffers; return S_OK; }
};

TEST(SampleGrabber, ShowsEachSampleToItsCallbackAndPassesItOn)
{
    auto graph = FilterGraph::Create();
    auto grabber = SampleGrabber::Create();
    auto renderer = VideoRenderer::Create();
    graph->AddFilter(grabber, "SG_Still");
    graph->AddFilter(renderer, "Video Renderer");

    // Feed the grabber from an output pin of our own.
    std::vector<std::shared_ptr<IPin>> grabberPins, rendererPins;
    grabber->EnumPins(&grabberPins);
    renderer->EnumPins(&rendererPins);
    const MediaType type = MakeVideoInfoType(MEDIASUBTYPE_RGB32, 2, 2, 0, 32);
    ASSERT_EQ(grabberPins[0]->ReceiveConnection(rendererPins[0], type), S_OK); // any connector will do
    ASSERT_EQ(graph->ConnectDirect(grabberPins[1], rendererPins[0], nullptr), S_OK);
    MediaType passed;
    ASSERT_EQ(rendererPins[0]->ConnectionMediaType(&passed), S_OK);
    EXPECT_EQ(passed.subType, MEDIASUBTYPE_RGB32);

    TestSurface surface;
    renderer->put_Owner(&surface);
    renderer->SetWindowPosition(0, 0, 2, 2);
    renderer->put_Visible(OATRUE);
    CountingCallback callback;
    ASSERT_EQ(grabber->SetCallback(&callback, 1), S_OK);
    const std::vector<std::uint8_t> pixels(16, 0x10);
    MediaSample sample {pixels.data(), 16, 0.0, &type};
    EXPECT_EQ(grabberPins[0]->Receive(sample), S_OK);
    EXPECT_EQ(callback.buffers, 1);
    EXPECT_EQ(callback.samples, 0);
    EXPECT_EQ(surface.Presented(), 1u);

    grabber->SetCallback(&callback, 0);
    grabberPins[0]->Receive(sample);
    EXPECT_EQ(callback.samples, 1);
    grabber->SetCallback(nullptr, 1);
    grabberPins[0]->Receive(sample);
    EXPECT_EQ(callback.buffers + callback.samples, 2);
    EXPECT_EQ(surface.Presented(), 3u);
    EXPECT_EQ(grabber->SetCallback(&callback, 2), E_INVALIDARG);
}

// A device source whose arrivals the test announces.
class AnnouncingSource : public IDeviceSource {
public:
    explicit AnnouncingSource(int devices) : devices(devices) {}
    void AppendVideoInputDevices(std::vector<std::shared_ptr<IMoniker>>* list) override
    {
        for (int i = 0; i < devices; ++i)
            list->push_back(nullptr);
    }
    void SetChangeSink(std::function<void(const DeviceChange&)> s) override { sink = std::move(s); }
    void Announce(const Guid& cls, std::string name) { sink(DeviceChange {DBT_DEVICEARRIVAL, cls, std::move(name)}); }
    int devices;
    std::function<void(const DeviceChange&)> sink;
};

TEST(CapturePlatform, EnumeratesSourcesInOrderAndFansOutMatchingChanges)
{
    auto first = std::make_shared<AnnouncingSource>(2);
    auto second = std::make_shared<AnnouncingSource>(1);
    auto platform = MakeCapturePlatform({first, second});

    std::shared_ptr<ICreateDevEnum> enumerator;
    ASSERT_EQ(platform->CreateDeviceEnumerator(&enumerator), S_OK);
    std::vector<std::shared_ptr<IMoniker>> devices;
    EXPECT_EQ(enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &devices), S_OK);
    EXPECT_EQ(devices.size(), 3u);
    EXPECT_EQ(enumerator->CreateClassEnumerator(KSCATEGORY_AUDIO, &devices), S_FALSE);
    EXPECT_TRUE(devices.empty());

    std::vector<std::string> seen;
    const auto handle = platform->DeviceNotifications().Register(
        KSCATEGORY_CAPTURE, [&](const DeviceChange& change) { seen.push_back(change.name); });
    ASSERT_NE(handle, 0u);
    first->Announce(KSCATEGORY_CAPTURE, "one");
    second->Announce(KSCATEGORY_AUDIO, "microphone");
    second->Announce(KSCATEGORY_CAPTURE, "two");
    platform->DeviceNotifications().Unregister(handle);
    first->Announce(KSCATEGORY_CAPTURE, "three");
    EXPECT_EQ(seen, (std::vector<std::string> {"one", "two"}));

    platform.reset();
    EXPECT_FALSE(first->sink) << "a source no longer reaches a platform that is gone";
}

// A device entry known only by its path.
class PathMoniker : public IMoniker {
public:
    explicit PathMoniker(std::string path) : path(std::move(path)) {}
    HRESULT BindToObject(std::shared_ptr<IBaseFilter>*) override { return E_FAIL; }
    HRESULT BindToStorage(std::shared_ptr<IPropertyBag>* bag) override
    {
        *bag = std::make_shared<DevicePropertyBag>(path, "device");
        return S_OK;
    }
    std::string path;
};

class ListedSource : public IDeviceSource {
public:
    explicit ListedSource(std::vector<std::string> paths) : paths(std::move(paths)) {}
    void AppendVideoInputDevices(std::vector<std::shared_ptr<IMoniker>>* list) override
    {
        for (const auto& path : paths)
            list->push_back(std::make_shared<PathMoniker>(path));
    }
    void SetChangeSink(std::function<void(const DeviceChange&)>) override {}
    std::vector<std::string> paths;
};

std::string UsbPath(const std::string& location)
{
    return R"(\\?\usb#vid_8888&pid_0001&mi_00#)" + location + R"(#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\global)";
}

// Two scanners: whichever backend lists them and in whatever order, the lowest bus and port comes first.
TEST(CapturePlatform, DevicesComeInOrderOfTheirUsbPortsWhateverTheBackendsOrder)
{
    const std::string sim = R"(\\?\usb#vid_8888&pid_0001&mi_00#sim-scanner-0#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\global)";
    const std::string node = R"(\\?\root#v4l2#video0#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\global)";
    const struct
    {
        std::vector<std::string> first, second;
    } cases[] = {
        {{UsbPath("1-4"), node}, {UsbPath("1-2"), sim}},
        {{UsbPath("1-2"), sim}, {node, UsbPath("1-4")}},
        {{UsbPath("2-1"), UsbPath("1-10")}, {UsbPath("1-4"), UsbPath("1-2")}},
    };
    const std::vector<std::vector<std::string>> expected = {
        {UsbPath("1-2"), UsbPath("1-4"), node, sim},
        {UsbPath("1-2"), UsbPath("1-4"), sim, node},
        {UsbPath("1-2"), UsbPath("1-4"), UsbPath("1-10"), UsbPath("2-1")},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        auto platform = MakeCapturePlatform(
            {std::make_shared<ListedSource>(cases[i].first), std::make_shared<ListedSource>(cases[i].second)});
        std::shared_ptr<ICreateDevEnum> enumerator;
        ASSERT_EQ(platform->CreateDeviceEnumerator(&enumerator), S_OK);
        std::vector<std::shared_ptr<IMoniker>> devices;
        ASSERT_EQ(enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &devices), S_OK);
        std::vector<std::string> order;
        for (const auto& device : devices)
            order.push_back(static_cast<PathMoniker&>(*device).path);
        EXPECT_EQ(order, expected[i]) << i;
    }
    EXPECT_EQ(UsbLocationOf(UsbPath("3-1.12.2")), (std::vector<int> {3, 1, 12, 2}));
    for (const char* bad : {"1", "1-", "-2", "1-2-3", "1.2", "a-1", "1-2.x"})
        EXPECT_FALSE(UsbLocationOf(UsbPath(bad))) << bad;
}

TEST(CapturePlatform, AnEmptyCategoryAnswersFalse)
{
    auto platform = MakeCapturePlatform({std::make_shared<AnnouncingSource>(0)});
    std::shared_ptr<ICreateDevEnum> enumerator;
    platform->CreateDeviceEnumerator(&enumerator);
    std::vector<std::shared_ptr<IMoniker>> devices;
    EXPECT_EQ(enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &devices), S_FALSE);
}

} // namespace
} // namespace vistrel::test
