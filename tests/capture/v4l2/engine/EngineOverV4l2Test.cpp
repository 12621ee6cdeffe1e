// The engine's own code and the shared graph runtime, driven over this backend's filter; the device
// behind the ioctl layer answers like the scanner.
#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include "../DescriptorFixtures.h"
#include "../FakeIo.h"
#include "capture/engine/ExtensionUnit.h"
#include "capture/engine/FormatSelection.h"
#include "capture/runtime/CapturePlatform.h"
#include "capture/linux/ErrnoResult.h"
#include "capture/v4l2/V4l2SourceFilter.h"

namespace vistrel::v4l2 {
namespace {

constexpr std::uint8_t kScannerUnit = 4;

class EngineOverV4l2 : public testing::Test
{
protected:
    EngineOverV4l2() : io(std::make_shared<test::FakeIo>())
    {
        io->extensionUnits = {kScannerUnit};
        io->unitControls[{kScannerUnit, 10}] = test::UnitControl::With(0x03, std::vector<std::uint8_t>(8, 0));
        io->unitControls[{kScannerUnit, 11}] = test::UnitControl::With(0x01, {'R', 'E', 'A', 'L', 'S', 'I', 'L', 0});
        descriptors = test::ScannerDescriptors();
    }

    std::shared_ptr<V4l2SourceFilter> Filter()
    {
        const std::vector<lnx::FrameFormat> frames = {
            {V4L2_PIX_FMT_YUYV, 640, 480, 1, 30},    {V4L2_PIX_FMT_MJPEG, 1280, 1024, 1, 15},
            {V4L2_PIX_FMT_MJPEG, 1600, 1600, 1, 15}, {V4L2_PIX_FMT_MJPEG, 2592, 1944, 1, 15},
            {V4L2_PIX_FMT_MJPEG, 640, 480, 1, 30},
        };
        return V4l2SourceFilter::Create({"Film Scanner", uvc::ParseUvcFunction(descriptors, 0), frames}, io,
                                        [this](std::chrono::milliseconds) { ++backendWaits; });
    }

    bool Identify()
    {
        ExtensionUnit unit([this](std::chrono::milliseconds) { ++waits; });
        const auto filter = Filter();
        if (Failed(unit.OpenExtensionUnit(filter)))
            return false;
        return IdentifyScanner(unit);
    }

    std::shared_ptr<test::FakeIo> io;
    std::vector<std::uint8_t> descriptors;
    int waits = 0;        // the engine's, between length probes
    int backendWaits = 0; // the backend's, before asking a control the driver could not learn again
};

TEST_F(EngineOverV4l2, TheScannerIsIdentifiedThroughItsExtensionUnit)
{
    EXPECT_TRUE(Identify());
    EXPECT_EQ((io->unitControls[{kScannerUnit, 10}].value),
              (std::vector<std::uint8_t> {0x00, 0xD0, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00}));
}

TEST_F(EngineOverV4l2, AUnitStillStartingUpIsWaitedFor)
{
    // The driver learns a control at its first use and answers ENOENT while the unit is not ready;
    // after power-up no control of the unit answers.
    for (const std::uint8_t selector : {10, 11})
        io->unitControls[{kScannerUnit, selector}].notReadyTimes = 3;
    EXPECT_TRUE(Identify());
    EXPECT_GE(backendWaits, 3);
    EXPECT_EQ((io->unitControls[{kScannerUnit, 10}].notReadyTimes), 0);
}

TEST_F(EngineOverV4l2, OtherAnswersAreNotTheScanner)
{
    io->unitControls[{kScannerUnit, 11}].value[7] = '!';
    EXPECT_FALSE(Identify()) << "wrong eighth byte";
    io->unitControls[{kScannerUnit, 11}].value = {'R', 'E', 'A'};
    EXPECT_FALSE(Identify()) << "a three-byte reply";
    EXPECT_EQ((io->unitControls[{kScannerUnit, 10}].value),
              (std::vector<std::uint8_t> {0xFF, 0, 0, 0, 0, 0, 0, 0}))
        << "the failed read of the reply is followed by the reset command";
}

TEST_F(EngineOverV4l2, AUnitDeclaringAFiveByteBitmapIsNotTheScanner)
{
    descriptors = test::DescriptorBuilder()
                      .Device()
                      .Configuration()
                      .Interface(0, 0, 0x01)
                      .ControlHeader({1})
                      .ExtensionUnit(kScannerUnit, PROPSETID_ScannerExtensionUnit, 11, {3}, {0xFF, 0x07, 0, 0, 0})
                      .Interface(1, 0, 0x02)
                      .StreamingInputHeader(2)
                      .Bytes();
    EXPECT_FALSE(Identify());
}

TEST_F(EngineOverV4l2, FormatsAreChosenFromTheDevicesList)
{
    const auto filter = Filter();
    struct Case
    {
        std::int32_t filmSize;
        std::pair<std::int32_t, std::int32_t> capture, still;
    };
    for (const Case& c : {Case {kFilm135, {1280, 1024}, {2592, 1944}}, Case {kFilm126, {1600, 1600}, {1600, 1600}}}) {
        SelectFormats(filter, filter, c.filmSize);
        std::vector<std::shared_ptr<IPin>> pins;
        filter->EnumPins(&pins);
        MediaType type;
        std::int32_t w = 0;
        std::int32_t h = 0;
        ASSERT_EQ(pins[0]->QueryStreamConfig()->GetFormat(&type), S_OK);
        ASSERT_TRUE(ReadVideoInfoSize(type, w, h));
        EXPECT_EQ(std::make_pair(w, h), c.capture) << c.filmSize;
        StillFormat still;
        ASSERT_EQ(ReadStillFormat(filter, &still), S_OK);
        EXPECT_EQ(std::make_pair(still.width, still.height), c.still) << c.filmSize;
    }
}

TEST_F(EngineOverV4l2, TheGraphRuntimeConnectsBothBranchesAndReportsABusyDevice)
{
    const auto platform = MakeCapturePlatform({});
    std::shared_ptr<IGraphBuilder> graph;
    std::shared_ptr<ICaptureGraphBuilder2> builder;
    std::shared_ptr<ISampleGrabber> grabber;
    std::shared_ptr<IBaseFilter> nullRenderer;
    ASSERT_EQ(platform->CreateFilterGraph(&graph), S_OK);
    ASSERT_EQ(platform->CreateCaptureGraphBuilder(&builder), S_OK);
    ASSERT_EQ(platform->CreateSampleGrabber(&grabber), S_OK);
    ASSERT_EQ(platform->CreateNullRenderer(&nullRenderer), S_OK);
    ASSERT_EQ(builder->SetFiltergraph(graph), S_OK);

    const std::shared_ptr<IBaseFilter> filter = Filter();
    ASSERT_EQ(graph->AddFilter(filter, "Device Source"), S_OK);
    std::shared_ptr<IPin> capture;
    ASSERT_EQ(builder->FindPin(filter, PinDirection::Output, &PIN_CATEGORY_CAPTURE, nullptr, true, 0, &capture), S_OK);
    ASSERT_EQ(builder->RenderStream(nullptr, nullptr, nullptr, capture, nullptr, nullptr), S_OK);
    ASSERT_EQ(graph->AddFilter(nullRenderer, "Null Render"), S_OK);
    ASSERT_EQ(graph->AddFilter(grabber->AsFilter(), "SG_Still"), S_OK);
    ASSERT_EQ(builder->RenderStream(&PIN_CATEGORY_STILL, &MEDIATYPE_Video, filter, nullptr, grabber->AsFilter(),
                                    nullRenderer),
              S_OK);

    std::vector<std::shared_ptr<IPin>> pins;
    filter->EnumPins(&pins);
    for (const auto& pin : pins) {
        MediaType type;
        ASSERT_EQ(pin->ConnectionMediaType(&type), S_OK);
        EXPECT_EQ(type.subType, MEDIASUBTYPE_MJPG);
    }

    io->openError = EBUSY;
    EXPECT_EQ(graph->QueryMediaControl()->Run(), HresultFromWin32(ERROR_SHARING_VIOLATION));
    FilterState state = FilterState::Running;
    filter->GetState(0, &state);
    EXPECT_EQ(state, FilterState::Stopped);
}

} // namespace
} // namespace vistrel::v4l2
