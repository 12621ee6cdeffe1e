#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <cstring>

#include "DescriptorFixtures.h"
#include "FakeIo.h"
#include "capture/contract/Graph.h"
#include "capture/linux/ErrnoResult.h"
#include "capture/v4l2/V4l2SourceFilter.h"

namespace vistrel::v4l2 {
namespace {

// The receiving end of a connection: accepts one subtype, counts samples.
class TestInputPin final : public IPin
{
public:
    explicit TestInputPin(const Guid& accepted) : accepted(accepted) {}
    HRESULT Connect(const std::shared_ptr<IPin>&, const MediaType*) override { return E_UNEXPECTED; }
    HRESULT ReceiveConnection(const std::shared_ptr<IPin>& connector, const MediaType& type) override
    {
        if (type.subType != accepted)
            return VFW_E_TYPE_NOT_ACCEPTED;
        peer = connector;
        return S_OK;
    }
    HRESULT Disconnect() override
    {
        peer.reset();
        return S_OK;
    }
    HRESULT ConnectedTo(std::shared_ptr<IPin>* pin) override
    {
        *pin = peer;
        return peer ? S_OK : VFW_E_NOT_CONNECTED;
    }
    HRESULT ConnectionMediaType(MediaType*) override { return E_NOTIMPL; }
    HRESULT QueryPinInfo(PinInfo* info) override
    {
        *info = {nullptr, PinDirection::Input, "In"};
        return S_OK;
    }
    HRESULT QueryDirection(PinDirection* direction) override
    {
        *direction = PinDirection::Input;
        return S_OK;
    }
    HRESULT Receive(const MediaSample&) override { return S_OK; }

    std::shared_ptr<IPin> peer;

private:
    Guid accepted;
};

class NamingGraph final : public IFilterGraph
{
public:
    HRESULT AddFilter(const std::shared_ptr<IBaseFilter>&, const std::string&) override { return E_NOTIMPL; }
    HRESULT RemoveFilter(const std::shared_ptr<IBaseFilter>&) override { return E_NOTIMPL; }
    HRESULT EnumFilters(std::vector<std::shared_ptr<IBaseFilter>>*) override { return E_NOTIMPL; }
    HRESULT Disconnect(const std::shared_ptr<IPin>&) override { return E_NOTIMPL; }
    HRESULT ConnectDirect(const std::shared_ptr<IPin>&, const std::shared_ptr<IPin>&, const MediaType*) override
    {
        return E_NOTIMPL;
    }
};

const std::vector<lnx::FrameFormat> kFrames = {
    {V4L2_PIX_FMT_YUYV, 640, 480, 1, 30},    {V4L2_PIX_FMT_MJPEG, 1280, 1024, 1, 15},
    {V4L2_PIX_FMT_MJPEG, 1600, 1600, 1, 15}, {V4L2_PIX_FMT_MJPEG, 2592, 1944, 1, 15},
    {V4L2_PIX_FMT_MJPEG, 640, 480, 1, 30},
};

std::shared_ptr<V4l2SourceFilter> MakeFilter(std::shared_ptr<test::FakeIo> io, bool usb = true)
{
    DeviceDescription description {"Film Scanner", std::nullopt, kFrames};
    if (usb)
        description.function = uvc::ParseUvcFunction(test::ScannerDescriptors(), 0);
    return V4l2SourceFilter::Create(std::move(description), std::move(io));
}

Guid CategoryOf(const std::shared_ptr<IPin>& pin)
{
    Guid category;
    std::uint32_t returned = 0;
    EXPECT_EQ(pin->QueryKsPropertySet()->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                                             sizeof category, &returned),
              S_OK);
    EXPECT_EQ(returned, sizeof(Guid));
    return category;
}

std::pair<std::int32_t, std::int32_t> SizeOf(const MediaType& type)
{
    std::int32_t w = 0;
    std::int32_t h = 0;
    EXPECT_TRUE(ReadVideoInfoSize(type, w, h));
    return {w, h};
}

class SourceFilterTest : public testing::Test
{
protected:
    SourceFilterTest() : io(std::make_shared<test::FakeIo>()), filter(MakeFilter(io))
    {
        std::vector<std::shared_ptr<IPin>> pins;
        EXPECT_EQ(filter->EnumPins(&pins), S_OK);
        EXPECT_EQ(pins.size(), 2u);
        capture = pins.at(0);
        still = pins.at(1);
    }

    std::shared_ptr<test::FakeIo> io;
    std::shared_ptr<V4l2SourceFilter> filter;
    std::shared_ptr<IPin> capture;
    std::shared_ptr<IPin> still;
};

TEST_F(SourceFilterTest, CaptureAndStillPinsNameTheirCategoryAndFilter)
{
    EXPECT_EQ(CategoryOf(capture), PIN_CATEGORY_CAPTURE);
    EXPECT_EQ(CategoryOf(still), PIN_CATEGORY_STILL);
    for (const auto& pin : {capture, still}) {
        PinInfo info;
        ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
        EXPECT_EQ(info.filter, filter);
        EXPECT_EQ(info.direction, PinDirection::Output);
        PinDirection direction = PinDirection::Input;
        EXPECT_EQ(pin->QueryDirection(&direction), S_OK);
        EXPECT_EQ(direction, PinDirection::Output);
        std::uint32_t returned = 0;
        Guid category;
        EXPECT_EQ(pin->QueryKsPropertySet()->Get(KSCATEGORY_CAPTURE, 0, nullptr, 0, &category, 16, &returned),
                  HresultFromWin32(ERROR_SET_NOT_FOUND));
        EXPECT_EQ(pin->QueryKsPropertySet()->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, 8,
                                                 &returned),
                  HresultFromWin32(ERROR_INSUFFICIENT_BUFFER));
    }
}

TEST(SourceFilter, WithoutAStillMethodThereIsOnlyTheCapturePin)
{
    auto descriptors = test::ScannerDescriptors();
    std::vector<std::shared_ptr<IPin>> pins;
    MakeFilter(std::make_shared<test::FakeIo>(), false)->EnumPins(&pins);
    EXPECT_EQ(pins.size(), 1u) << "not a USB video function";

    DeviceDescription description {"Webcam", uvc::ParseUvcFunction(descriptors, 0), kFrames};
    description.function->stillCaptureMethod = 0;
    V4l2SourceFilter::Create(description, std::make_shared<test::FakeIo>())->EnumPins(&pins);
    ASSERT_EQ(pins.size(), 1u);
    EXPECT_EQ(CategoryOf(pins[0]), PIN_CATEGORY_CAPTURE);
}

TEST_F(SourceFilterTest, PinsStartAtTheFirstAndTheLargestFormat)
{
    MediaType type;
    ASSERT_EQ(capture->QueryStreamConfig()->GetFormat(&type), S_OK);
    EXPECT_EQ(type.subType, MEDIASUBTYPE_MJPG);
    EXPECT_EQ(SizeOf(type), std::make_pair(1280, 1024));
    ASSERT_EQ(still->QueryStreamConfig()->GetFormat(&type), S_OK);
    EXPECT_EQ(type.subType, MEDIASUBTYPE_MJPG);
    EXPECT_EQ(SizeOf(type), std::make_pair(2592, 1944));
}

TEST_F(SourceFilterTest, StreamConfigListsAndSetsFormats)
{
    const auto config = still->QueryStreamConfig();
    std::int32_t count = 0;
    std::int32_t capsSize = 0;
    ASSERT_EQ(config->GetNumberOfCapabilities(&count, &capsSize), S_OK);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(capsSize, lnx::kStreamCapsSize);

    std::vector<std::uint8_t> caps(static_cast<std::size_t>(capsSize));
    MediaType type;
    ASSERT_EQ(config->GetStreamCaps(2, &type, caps.data()), S_OK);
    EXPECT_EQ(SizeOf(type), std::make_pair(2592, 1944));
    Guid capsFormat;
    std::memcpy(&capsFormat, caps.data(), sizeof capsFormat);
    EXPECT_EQ(capsFormat, FORMAT_VideoInfo);
    std::int32_t inputSize[2];
    std::memcpy(inputSize, caps.data() + 20, sizeof inputSize);
    EXPECT_EQ(inputSize[0], 2592);
    EXPECT_EQ(inputSize[1], 1944);
    EXPECT_EQ(config->GetStreamCaps(4, &type, caps.data()), S_FALSE);
    EXPECT_EQ(config->GetStreamCaps(-1, &type, caps.data()), S_FALSE);

    ASSERT_EQ(config->GetStreamCaps(1, &type, caps.data()), S_OK);
    ASSERT_EQ(config->SetFormat(type), S_OK);
    MediaType current;
    ASSERT_EQ(config->GetFormat(&current), S_OK);
    EXPECT_EQ(SizeOf(current), std::make_pair(1600, 1600));

    EXPECT_EQ(config->SetFormat(MakeVideoInfoType(MEDIASUBTYPE_MJPG, 4000, 3000)), VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(config->SetFormat(MakeVideoInfoType(MEDIASUBTYPE_YUY2, 640, 480)), VFW_E_TYPE_NOT_ACCEPTED)
        << "the still pin delivers JPEG only";
    ASSERT_EQ(config->GetFormat(&current), S_OK);
    EXPECT_EQ(SizeOf(current), std::make_pair(1600, 1600));
}

TEST_F(SourceFilterTest, ConnectsInTheCurrentFormatOrAnAskedOne)
{
    const auto yuyvOnly = std::make_shared<TestInputPin>(MEDIASUBTYPE_YUY2);
    EXPECT_EQ(capture->Connect(yuyvOnly, nullptr), VFW_E_TYPE_NOT_ACCEPTED);
    std::shared_ptr<IPin> peer;
    EXPECT_EQ(capture->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);

    MediaType partial {MEDIATYPE_Video, MEDIASUBTYPE_YUY2, GUID_NULL, {}};
    EXPECT_EQ(capture->Connect(yuyvOnly, &partial), VFW_E_TYPE_NOT_ACCEPTED) << "a partial type only narrows";

    const MediaType yuyv = MakeVideoInfoType(MEDIASUBTYPE_YUY2, 640, 480);
    ASSERT_EQ(capture->Connect(yuyvOnly, &yuyv), S_OK);
    EXPECT_EQ(yuyvOnly->peer, capture);
    ASSERT_EQ(capture->ConnectedTo(&peer), S_OK);
    EXPECT_EQ(peer, yuyvOnly);
    MediaType connection;
    ASSERT_EQ(capture->ConnectionMediaType(&connection), S_OK);
    EXPECT_EQ(connection.subType, MEDIASUBTYPE_YUY2);
    MediaType current;
    capture->QueryStreamConfig()->GetFormat(&current);
    EXPECT_EQ(current.subType, MEDIASUBTYPE_YUY2);

    EXPECT_EQ(capture->Connect(yuyvOnly, nullptr), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(capture->QueryStreamConfig()->SetFormat(MakeVideoInfoType(MEDIASUBTYPE_MJPG, 640, 480)),
              VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(capture->Disconnect(), S_OK);
    EXPECT_EQ(capture->Disconnect(), S_FALSE);
    EXPECT_EQ(capture->ConnectionMediaType(&connection), VFW_E_NOT_CONNECTED);
}

TEST_F(SourceFilterTest, ADeviceThatCannotBeOpenedFailsToRunWithItsReason)
{
    const auto sink = std::make_shared<TestInputPin>(MEDIASUBTYPE_MJPG);
    ASSERT_EQ(capture->Connect(sink, nullptr), S_OK);
    const std::pair<int, HRESULT> cases[] = {
        {EBUSY, HresultFromWin32(ERROR_SHARING_VIOLATION)},
        {EACCES, HresultFromWin32(ERROR_ACCESS_DENIED)},
        {ENOENT, HresultFromWin32(ERROR_NOT_FOUND)},
    };
    for (const auto& [error, result] : cases) {
        io->openError = error;
        EXPECT_EQ(filter->Run(), result) << error;
        FilterState state = FilterState::Running;
        EXPECT_EQ(filter->GetState(0, &state), S_OK);
        EXPECT_EQ(state, FilterState::Stopped);
    }
    EXPECT_EQ(filter->Stop(), S_OK);
}

TEST_F(SourceFilterTest, TriggerIsAMomentOnTheStillPinOnly)
{
    const auto control = filter->QueryVideoControl();
    ASSERT_TRUE(control);
    EXPECT_EQ(control->SetMode(still, VideoControlFlag_Trigger | VideoControlFlag_FlipHorizontal), E_FAIL)
        << "not running";
    std::int32_t mode = -1;
    ASSERT_EQ(control->GetMode(still, &mode), S_OK);
    EXPECT_EQ(mode, VideoControlFlag_FlipHorizontal);
    EXPECT_EQ(control->SetMode(capture, VideoControlFlag_Trigger), S_OK);
    EXPECT_EQ(control->SetMode(std::make_shared<TestInputPin>(MEDIASUBTYPE_MJPG), VideoControlFlag_Trigger),
              E_INVALIDARG);
    EXPECT_EQ(control->SetMode(nullptr, VideoControlFlag_Trigger), E_INVALIDARG);
}

TEST_F(SourceFilterTest, ExtensionUnitsAndPropertiesAreTheDevices)
{
    const auto info = filter->QueryKsTopologyInfo();
    const auto control = filter->QueryKsControl();
    ASSERT_TRUE(info && control);
    std::uint32_t nodes = 0;
    ASSERT_EQ(info->get_NumNodes(&nodes), S_OK);
    EXPECT_EQ(nodes, 2u);
    std::uint8_t reply[64];
    std::uint32_t returned = 0;
    EXPECT_EQ(control->KsProperty({PROPSETID_ScannerExtensionUnit, 0, KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_GET, 1, 0},
                                  reply, sizeof reply, &returned),
              S_OK);
    EXPECT_EQ(reply[16], 11);

    io->controls[V4L2_CID_SATURATION] = {{0, 127, 1, 63, false}, 70};
    std::int32_t value = 0;
    std::int32_t flags = 0;
    ASSERT_TRUE(filter->QueryVideoProcAmp());
    EXPECT_EQ(filter->QueryVideoProcAmp()->Get(VideoProcAmp_Saturation, &value, &flags), S_OK);
    EXPECT_EQ(value, 70);
    ASSERT_TRUE(filter->QueryCameraControl());
    EXPECT_EQ(filter->QueryCameraControl()->Get(CameraControl_Zoom, &value, &flags), E_PROP_ID_UNSUPPORTED);
}

TEST_F(SourceFilterTest, TakesTheGraphsNameWhileInIt)
{
    EXPECT_EQ(filter->Name(), "Film Scanner");
    NamingGraph graph;
    EXPECT_EQ(filter->JoinFilterGraph(&graph, "Device Source"), S_OK);
    EXPECT_EQ(filter->Name(), "Device Source");
    EXPECT_EQ(filter->JoinFilterGraph(nullptr, ""), S_OK);
    EXPECT_EQ(filter->Name(), "Film Scanner");
}

} // namespace
} // namespace vistrel::v4l2
