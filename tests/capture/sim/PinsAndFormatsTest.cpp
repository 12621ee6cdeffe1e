// Pins, categories and format lists of the simulated devices, and connecting them downstream.
#include <gtest/gtest.h>

#include "SimTestSupport.h"

namespace vistrel::sim::test {
namespace {

struct Size {
    std::int32_t width, height;
    friend bool operator==(const Size&, const Size&) = default;
};

// The choice the engine makes: under 135 a non-square format narrower (capture) or wider (still)
// than 1500 pixels, under 126 a square one; VideoInfo2 entries are passed over.
std::optional<Size> Select(const std::vector<MediaType>& list, bool square, bool still)
{
    for (const auto& mt : list) {
        std::int32_t w = 0, h = 0;
        if (!ReadVideoInfoSize(mt, w, h))
            continue;
        if (square ? w == h : (w != h && (still ? w > 1500 : w < 1500)))
            return Size {w, h};
    }
    return std::nullopt;
}

class PinsAndFormatsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = source.AddDevice({});
        filter = Bind(source, path);
        ASSERT_TRUE(filter);
        capture = PinOfCategory(*filter, PIN_CATEGORY_CAPTURE);
        still = PinOfCategory(*filter, PIN_CATEGORY_STILL);
        ASSERT_TRUE(capture);
        ASSERT_TRUE(still);
    }
    SimulatedDeviceSource source;
    std::string path;
    std::shared_ptr<IBaseFilter> filter;
    std::shared_ptr<IPin> capture, still;
};

TEST_F(PinsAndFormatsTest, CapturePinComesFirstAndBothAreOutputsOfTheFilter)
{
    std::vector<std::shared_ptr<IPin>> pins;
    ASSERT_EQ(filter->EnumPins(&pins), S_OK);
    ASSERT_EQ(pins.size(), 2u);
    EXPECT_EQ(pins[0], capture);
    EXPECT_EQ(pins[1], still);
    for (const auto& pin : pins) {
        PinInfo info;
        ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
        EXPECT_EQ(info.direction, PinDirection::Output);
        EXPECT_EQ(info.filter, filter);
    }
}

TEST_F(PinsAndFormatsTest, FormatListsExerciseEverySelectionRule)
{
    const auto captureFormats = Formats(*capture), stillFormats = Formats(*still);
    EXPECT_EQ(Select(captureFormats, false, false), (Size {1280, 960}));
    EXPECT_EQ(Select(captureFormats, true, false), (Size {960, 960}));
    EXPECT_EQ(Select(stillFormats, false, true), (Size {2592, 1944}));
    EXPECT_EQ(Select(stillFormats, true, true), (Size {2448, 2448}));
    // Without the width rule the still pin would take its small format.
    EXPECT_NE(Select(stillFormats, false, false), std::nullopt);
    EXPECT_EQ(captureFormats.front().formatType, FORMAT_VideoInfo2) << "an entry the selection must skip";
    for (const auto& mt : stillFormats)
        EXPECT_EQ(mt.subType, MEDIASUBTYPE_MJPG) << "stills are complete JPEG files";
}

TEST_F(PinsAndFormatsTest, StreamCapsAnswerEveryIndexAndStopAtTheEnd)
{
    auto config = capture->QueryStreamConfig();
    std::int32_t count = 0, capsSize = 0;
    ASSERT_EQ(config->GetNumberOfCapabilities(&count, &capsSize), S_OK);
    ASSERT_GT(count, 0);
    ASSERT_GE(capsSize, 128);
    std::vector<std::uint8_t> caps(static_cast<std::size_t>(capsSize), 0xEE);
    MediaType mt;
    ASSERT_EQ(config->GetStreamCaps(1, &mt, caps.data()), S_OK);
    std::int32_t w = 0, h = 0;
    ASSERT_TRUE(ReadVideoInfoSize(mt, w, h));
    std::int32_t capsWidth = 0;
    std::memcpy(&capsWidth, caps.data() + 20, 4);
    EXPECT_EQ(capsWidth, w) << "VIDEO_STREAM_CONFIG_CAPS.InputSize";
    EXPECT_EQ(config->GetStreamCaps(count, &mt, caps.data()), S_FALSE);
}

TEST_F(PinsAndFormatsTest, SetFormatTakesOfferedFormatsOnly)
{
    auto config = still->QueryStreamConfig();
    MediaType current;
    ASSERT_EQ(config->GetFormat(&current), S_OK);
    std::int32_t w = 0, h = 0;
    ASSERT_TRUE(ReadVideoInfoSize(current, w, h));

    ASSERT_EQ(ChooseFormat(*still, MEDIASUBTYPE_MJPG, 2592, 1944), S_OK);
    ASSERT_EQ(config->GetFormat(&current), S_OK);
    ASSERT_TRUE(ReadVideoInfoSize(current, w, h));
    EXPECT_EQ((Size {w, h}), (Size {2592, 1944}));

    const MediaType foreign = MakeVideoInfoType(MEDIASUBTYPE_MJPG, 1234, 567);
    EXPECT_EQ(config->SetFormat(foreign), VFW_E_TYPE_NOT_ACCEPTED);
    const MediaType videoInfo2 = Formats(*capture).front();
    EXPECT_TRUE(Failed(capture->QueryStreamConfig()->SetFormat(videoInfo2)));
    ASSERT_EQ(config->GetFormat(&current), S_OK);
    ASSERT_TRUE(ReadVideoInfoSize(current, w, h));
    EXPECT_EQ((Size {w, h}), (Size {2592, 1944})) << "a refused format changes nothing";
}

TEST_F(PinsAndFormatsTest, ConnectFallsBackToAFormatTheInputAccepts)
{
    auto input = std::make_shared<CollectingPin>();
    input->acceptOnly = MEDIASUBTYPE_MJPG;
    ASSERT_EQ(capture->Connect(input, nullptr), S_OK);
    MediaType type;
    ASSERT_EQ(capture->ConnectionMediaType(&type), S_OK);
    EXPECT_EQ(type.subType, MEDIASUBTYPE_MJPG);
    std::shared_ptr<IPin> peer;
    ASSERT_EQ(capture->ConnectedTo(&peer), S_OK);
    EXPECT_EQ(peer, input);

    EXPECT_EQ(capture->Connect(std::make_shared<CollectingPin>(), nullptr), VFW_E_ALREADY_CONNECTED);
    EXPECT_EQ(capture->QueryStreamConfig()->SetFormat(Formats(*capture)[1]), VFW_E_ALREADY_CONNECTED);
    ASSERT_EQ(capture->Disconnect(), S_OK);
    EXPECT_EQ(capture->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);

    auto rgbOnly = std::make_shared<CollectingPin>();
    rgbOnly->acceptOnly = MEDIASUBTYPE_YUY2;
    EXPECT_TRUE(Failed(capture->Connect(rgbOnly, nullptr))) << "nothing acceptable";
}

TEST_F(PinsAndFormatsTest, StillPinCanBeMissing)
{
    ScannerFaults faults;
    faults.noStillPin = true;
    source.SetFaults(path, faults);
    std::vector<std::shared_ptr<IPin>> pins;
    ASSERT_EQ(filter->EnumPins(&pins), S_OK);
    ASSERT_EQ(pins.size(), 1u);
    EXPECT_EQ(PinOfCategory(*filter, PIN_CATEGORY_STILL), nullptr);
    EXPECT_TRUE(Failed(filter->QueryVideoControl()->SetMode(still, VideoControlFlag_Trigger)));
}

TEST(CameraPins, CamerasHaveACapturePinAndAnOptionalStillPin)
{
    SimulatedDeviceSource source;
    DeviceOptions withStill, withoutStill;
    withStill.kind = withoutStill.kind = DeviceOptions::Kind::Camera;
    withoutStill.stillPin = false;
    auto a = Bind(source, source.AddDevice(withStill));
    auto b = Bind(source, source.AddDevice(withoutStill));
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(PinOfCategory(*a, PIN_CATEGORY_CAPTURE));
    EXPECT_TRUE(PinOfCategory(*a, PIN_CATEGORY_STILL));
    EXPECT_TRUE(PinOfCategory(*b, PIN_CATEGORY_CAPTURE));
    EXPECT_FALSE(PinOfCategory(*b, PIN_CATEGORY_STILL));
}

} // namespace
} // namespace vistrel::sim::test
