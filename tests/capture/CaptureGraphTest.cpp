#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <algorithm>
#include <set>

#include "SimRig.h"
#include "capture/engine/Letterbox.h"

namespace vistrel::test {
namespace {

std::multiset<std::string> FilterNames(const CaptureEngine& engine)
{
    std::multiset<std::string> names;
    std::vector<std::shared_ptr<IBaseFilter>> filters;
    if (engine.Graph() && engine.Graph()->graph)
        engine.Graph()->graph->EnumFilters(&filters);
    for (const auto& f : filters)
        names.insert(f->Name());
    return names;
}

bool JpegSize(const std::vector<std::uint8_t>& bytes, int* width, int* height)
{
    tjhandle handle = tjInitDecompress();
    int subsampling = 0, colourspace = 0;
    const bool ok = tjDecompressHeader3(handle, bytes.data(), static_cast<unsigned long>(bytes.size()), width, height,
                                        &subsampling, &colourspace) == 0;
    tjDestroy(handle);
    return ok;
}

TEST(CaptureGraph, WithoutAScannerNothingStartsAndNothingStops)
{
    SimRig rig;
    EXPECT_EQ(rig.engine.StartCapture(), S_OK);
    EXPECT_FALSE(rig.engine.HasGraph());
    rig.engine.StopCapture();
    EXPECT_EQ(rig.engine.ShowPreview(true), E_FAIL);
    EXPECT_EQ(rig.host.backgroundBlackCalls, 0);
    EXPECT_EQ(rig.host.surface.Placement().visible, false);
}

TEST(CaptureGraph, BuildsBothBranchesAndShowsTheLetterboxedPicture)
{
    SimRig rig;
    rig.Add(DeviceKind::Scanner);
    rig.host.previewWidth = 800;
    rig.host.previewHeight = 400;
    ASSERT_TRUE(rig.Attach());

    EXPECT_EQ(FilterNames(rig.engine),
              (std::multiset<std::string> {"Device Source", "Video Renderer", "SG_Still", "Null Render"}));
    const VideoPlacement placement = rig.host.surface.Placement();
    EXPECT_TRUE(placement.visible);
    EXPECT_EQ(placement.left, 133);
    EXPECT_EQ(placement.top, 0);
    EXPECT_EQ(placement.width, 534);
    EXPECT_EQ(placement.height, 400);

    ASSERT_TRUE(rig.host.surface.WaitForFrames(2));
    const auto frame = rig.host.surface.mailbox.Take();
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ((*frame)->width, 534);
    EXPECT_EQ((*frame)->height, 400);
    EXPECT_EQ((*frame)->stride, 534 * 4);
    EXPECT_EQ((*frame)->pixels.size(), std::size_t(534) * 4 * 400);
    EXPECT_TRUE(rig.host.messages.empty());
}

TEST(CaptureGraph, ShowPreviewRefitsAfterAResizeAndHidesOnRequest)
{
    SimRig rig;
    rig.Add(DeviceKind::Scanner);
    ASSERT_TRUE(rig.Attach());

    rig.host.previewWidth = 400;
    rig.host.previewHeight = 800;
    EXPECT_EQ(rig.engine.ShowPreview(true), S_OK);
    VideoPlacement placement = rig.host.surface.Placement();
    EXPECT_EQ(placement.left, 0);
    EXPECT_EQ(placement.top, 250);
    EXPECT_EQ(placement.width, 400);
    EXPECT_EQ(placement.height, 300);

    const int blackBefore = rig.host.backgroundBlackCalls;
    EXPECT_EQ(rig.engine.ShowPreview(false), S_OK);
    EXPECT_FALSE(rig.host.surface.Placement().visible);
    EXPECT_EQ(rig.host.backgroundBlackCalls, blackBefore + 1);
}

TEST(CaptureGraph, StartingTwiceReplacesTheFirstGraphEntirely)
{
    SimRig rig;
    rig.Add(DeviceKind::Scanner);
    ASSERT_TRUE(rig.Attach());
    std::weak_ptr<IGraphBuilder> firstGraph = rig.engine.Graph()->graph;
    std::vector<std::shared_ptr<IBaseFilter>> filters;
    firstGraph.lock()->EnumFilters(&filters);
    std::vector<std::weak_ptr<IBaseFilter>> firstFilters(filters.begin(), filters.end());
    filters.clear();

    ASSERT_EQ(rig.engine.StartCapture(), S_OK);
    EXPECT_TRUE(firstGraph.expired());
    for (const auto& weak : firstFilters) {
        const auto filter = weak.lock();
        EXPECT_TRUE(!filter || filter == rig.engine.ScannerFilter()) << "only the device outlives its graph";
    }
    EXPECT_EQ(FilterNames(rig.engine).count("Video Renderer"), 1u);
    const auto presented = rig.host.surface.Presented();
    EXPECT_TRUE(rig.host.surface.WaitForFrames(presented + 2));
    EXPECT_TRUE(rig.host.messages.empty());
}

TEST(CaptureGraph, ABusyDeviceIsReportedOncePerStartAndStaysAttached)
{
    SimRig rig;
    ScannerFaults faults;
    faults.busy = true;
    rig.Add(DeviceKind::Scanner, faults);
    ASSERT_TRUE(rig.Attach());

    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_EQ(rig.host.messages[0].code, ReasonCode::DeviceLocked);
    EXPECT_TRUE(rig.engine.HasGraph());
    EXPECT_NE(rig.engine.ScannerFilter(), nullptr);
    FilterState state = FilterState::Running;
    rig.engine.Graph()->graph->QueryMediaControl()->GetState(0, &state);
    EXPECT_EQ(state, FilterState::Stopped);
    EXPECT_EQ(rig.host.surface.Presented(), 0u);

    rig.engine.StartCapture();
    EXPECT_EQ(rig.host.messages.size(), 2u);
}

TEST(CaptureGraph, TheBusyReportComesAfterTheStartHasFinishedWithTheGraph)
{
    // A host that handles the report by detaching (as an unplug inside a message box would) must
    // find the start already done: the still format was read, and nothing touches the graph after.
    SimRig rig;
    ScannerFaults faults;
    faults.busy = true;
    rig.Add(DeviceKind::Scanner, faults);
    StillFormat atReport {};
    rig.host.onReport = [&rig, &atReport] {
        atReport = rig.engine.CurrentStillFormat();
        rig.engine.StopCapture();
        rig.engine.SetScannerFilter(nullptr);
    };
    ASSERT_TRUE(rig.Attach());

    ASSERT_EQ(rig.host.messages.size(), 1u);
    EXPECT_GT(atReport.width, 0);
    EXPECT_GT(atReport.height, 0);
    EXPECT_FALSE(rig.engine.HasGraph());
}

TEST(CaptureGraph, AScannerWithoutAStillPinPreviewsWithoutAStillBranch)
{
    SimRig rig;
    ScannerFaults faults;
    faults.noStillPin = true;
    rig.Add(DeviceKind::Scanner, faults);
    std::shared_ptr<IBaseFilter> found;
    ASSERT_TRUE(rig.engine.FindScanner(nullptr, &rig.engine.ScannerPath(), &found));
    rig.engine.SetScannerFilter(found);

    EXPECT_EQ(rig.engine.StartCapture(), E_FAIL); // no still format to read
    ASSERT_TRUE(rig.engine.HasGraph());
    EXPECT_FALSE(rig.engine.Graph()->hasStillPin);
    EXPECT_FALSE(rig.engine.Graph()->stillWanted);
    EXPECT_EQ(FilterNames(rig.engine), (std::multiset<std::string> {"Device Source", "Video Renderer"}));
    EXPECT_TRUE(rig.host.surface.WaitForFrames(1));
    rig.engine.TriggerStill(); // accepted, and nothing can come of it
    EXPECT_EQ(rig.engine.CurrentStillFormat().width, 0);
}

TEST(CaptureGraph, StillsArriveOnTheStreamingThreadAsJpegOfTheStillFormat)
{
    SimRig rig;
    rig.Add(DeviceKind::Scanner);
    ASSERT_TRUE(rig.Attach());
    ASSERT_EQ(rig.engine.Graph()->stillCallback.mode, 1);

    rig.engine.TriggerStill();
    rig.engine.TriggerStill();
    ASSERT_TRUE(rig.host.WaitForStills(2));
    for (const auto& still : rig.host.Stills()) {
        EXPECT_NE(still.thread, std::this_thread::get_id());
        int width = 0, height = 0;
        ASSERT_TRUE(JpegSize(still.bytes, &width, &height));
        EXPECT_EQ(width, rig.engine.CurrentStillFormat().width);
        EXPECT_EQ(height, rig.engine.CurrentStillFormat().height);
    }
}

TEST(CaptureGraph, UnplugWhileRunningLeavesNoThreadBehind)
{
    const std::size_t before = ThreadCount();
    {
        SimRig rig;
        const std::string path = rig.Add(DeviceKind::Scanner);
        ASSERT_TRUE(rig.Attach());
        ASSERT_TRUE(rig.host.surface.WaitForFrames(1));
        rig.engine.TriggerStill();
        EXPECT_GT(ThreadCount(), before);

        rig.source->Unplug(path);
        // What the window does on the removal.
        rig.engine.StopCapture();
        rig.engine.ReleasePropertyInterfaces();
        rig.engine.SetScannerFilter(nullptr);
        EXPECT_FALSE(rig.engine.HasGraph());
        EXPECT_EQ(ThreadCountOnceExited(before), before);
        EXPECT_FALSE(rig.host.surface.Placement().visible);

        // Replugged, it attaches again and streams.
        rig.source->Plug(path);
        const auto presented = rig.host.surface.Presented();
        ASSERT_TRUE(rig.Attach());
        EXPECT_TRUE(rig.host.surface.WaitForFrames(presented + 1));
        EXPECT_EQ(rig.engine.FilmTypeValue(), Negative);
    }
    EXPECT_EQ(ThreadCountOnceExited(before), before);
}

TEST(CaptureGraph, StopCaptureDismantlesEverythingDownstreamOfTheDevice)
{
    SimRig rig;
    rig.Add(DeviceKind::Scanner);
    ASSERT_TRUE(rig.Attach());
    const auto device = rig.engine.ScannerFilter();
    rig.engine.StopCapture();
    EXPECT_FALSE(rig.engine.HasGraph());
    std::vector<std::shared_ptr<IPin>> pins;
    device->EnumPins(&pins);
    for (const auto& pin : pins) {
        std::shared_ptr<IPin> peer;
        EXPECT_EQ(pin->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
    }
    FilterState state = FilterState::Running;
    device->GetState(0, &state);
    EXPECT_EQ(state, FilterState::Stopped);
}

TEST(Letterbox, BarsOnTheLongSidesWithTruncatingArithmetic)
{
    struct Case {
        std::int32_t cw, ch, w, h;
        PreviewRect expected;
    };
    const Case cases[] = {
        {800, 400, 1280, 960, {133, 0, 534, 400}},  // wider control: bars left and right
        {400, 800, 1280, 960, {0, 250, 400, 300}},  // taller control: bars above and below
        {1280, 960, 640, 480, {0, 0, 1280, 960}},   // same shape: no bars
        {725, 491, 1280, 960, {35, 0, 655, 491}},   // 1280*491/960 = 654.67 truncates to 654
        {960, 960, 2592, 1944, {0, 120, 960, 720}},
        {720, 486, 960, 960, {117, 0, 486, 486}},   // square picture in a wide control
    };
    for (const auto& c : cases)
        EXPECT_EQ(LetterboxRect(c.cw, c.ch, c.w, c.h), c.expected) << c.cw << "x" << c.ch << " " << c.w << "x" << c.h;
}

} // namespace
} // namespace vistrel::test
