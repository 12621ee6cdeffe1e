#include <gtest/gtest.h>

#include <vector>

#include "capture/uvc/AlternateSetting.h"
#include "capture/uvc/ControlRequests.h"

namespace vistrel::uvc {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct TableCase
{
    PropertyFamily family;
    std::int32_t property;
    UvcEntity entity;
    std::uint8_t selector;
    std::uint16_t length;
};

TEST(ControlRequests, EachPropertyHasItsUnitSelectorAndLength)
{
    const TableCase cases[] = {
        {PropertyFamily::VideoProcAmp, VideoProcAmp_Brightness, UvcEntity::ProcessingUnit, 0x02, 2},
        {PropertyFamily::VideoProcAmp, VideoProcAmp_Contrast, UvcEntity::ProcessingUnit, 0x03, 2},
        {PropertyFamily::VideoProcAmp, VideoProcAmp_Saturation, UvcEntity::ProcessingUnit, 0x07, 2},
        {PropertyFamily::VideoProcAmp, VideoProcAmp_Gamma, UvcEntity::ProcessingUnit, 0x09, 2},
        {PropertyFamily::CameraControl, CameraControl_Zoom, UvcEntity::CameraTerminal, 0x0B, 2},
        {PropertyFamily::CameraControl, CameraControl_Pan, UvcEntity::CameraTerminal, 0x0D, 8},
        {PropertyFamily::CameraControl, CameraControl_Tilt, UvcEntity::CameraTerminal, 0x0D, 8},
        {PropertyFamily::CameraControl, CameraControl_Roll, UvcEntity::CameraTerminal, 0x0F, 2},
    };
    for (const TableCase& c : cases) {
        const UvcControl* control = FindUvcControl(c.family, c.property);
        ASSERT_NE(control, nullptr) << c.property;
        EXPECT_EQ(control->entity, c.entity) << c.property;
        EXPECT_EQ(control->selector, c.selector) << c.property;
        EXPECT_EQ(control->length, c.length) << c.property;
    }
    EXPECT_EQ(FindUvcControl(PropertyFamily::VideoProcAmp, VideoProcAmp_Hue), nullptr);
    EXPECT_EQ(FindUvcControl(PropertyFamily::CameraControl, CameraControl_Focus), nullptr);
    EXPECT_EQ(FindUvcControl(PropertyFamily::CameraControl, VideoProcAmp_Gamma), nullptr) << "families are apart";
}

TEST(ControlRequests, SetupPacketsAddressTheEntityOnTheControlInterface)
{
    const UvcControl& roll = *FindUvcControl(PropertyFamily::CameraControl, CameraControl_Roll);
    EXPECT_EQ(ControlRequest(roll, SET_CUR, 1, 0), (ClassRequest {0x21, 0x01, 0x0F00, 0x0100, 2}));
    EXPECT_EQ(ControlRequest(roll, GET_MIN, 1, 0), (ClassRequest {0xA1, 0x82, 0x0F00, 0x0100, 2}));
    EXPECT_EQ(ControlRequest(roll, GET_INFO, 1, 0), (ClassRequest {0xA1, 0x86, 0x0F00, 0x0100, 1}));
    EXPECT_EQ(ControlRequest(roll, GET_LEN, 1, 0), (ClassRequest {0xA1, 0x85, 0x0F00, 0x0100, 2}));
    const UvcControl& gamma = *FindUvcControl(PropertyFamily::VideoProcAmp, VideoProcAmp_Gamma);
    EXPECT_EQ(ControlRequest(gamma, GET_DEF, 2, 3), (ClassRequest {0xA1, 0x87, 0x0900, 0x0203, 2}));
    EXPECT_EQ(RequestErrorCodeRequest(0), (ClassRequest {0xA1, 0x81, 0x0200, 0x0000, 1}));
}

TEST(ControlRequests, FieldsAreLittleEndianWithTheirSign)
{
    const UvcControl& pan = *FindUvcControl(PropertyFamily::CameraControl, CameraControl_Pan);
    const UvcControl& tilt = *FindUvcControl(PropertyFamily::CameraControl, CameraControl_Tilt);
    const UvcControl& roll = *FindUvcControl(PropertyFamily::CameraControl, CameraControl_Roll);
    const UvcControl& contrast = *FindUvcControl(PropertyFamily::VideoProcAmp, VideoProcAmp_Contrast);
    const UvcControl& brightness = *FindUvcControl(PropertyFamily::VideoProcAmp, VideoProcAmp_Brightness);

    // pan 918000, tilt -3600
    const Bytes panTilt {0xF0, 0x01, 0x0E, 0x00, 0xF0, 0xF1, 0xFF, 0xFF};
    EXPECT_EQ(ReadField(pan, panTilt), 918000);
    EXPECT_EQ(ReadField(tilt, panTilt), -3600);
    EXPECT_EQ(ReadField(roll, Bytes {0xFF, 0xFF}), -1);
    EXPECT_EQ(ReadField(brightness, Bytes {0xE7, 0xFF}), -25);
    EXPECT_EQ(ReadField(contrast, Bytes {0xFF, 0xFF}), 65535) << "unsigned fields stay positive";
    EXPECT_FALSE(ReadField(tilt, Bytes(7, 0))) << "an answer too short for the field";
    EXPECT_FALSE(ReadField(roll, Bytes {1}));

    // Writing pan keeps tilt, as the control carries both.
    Bytes data = panTilt;
    ASSERT_TRUE(WriteField(pan, 460800, data));
    EXPECT_EQ(data, (Bytes {0x00, 0x08, 0x07, 0x00, 0xF0, 0xF1, 0xFF, 0xFF}));
    Bytes rollData(2);
    ASSERT_TRUE(WriteField(roll, 1, rollData));
    EXPECT_EQ(rollData, (Bytes {0x01, 0x00}));
    ASSERT_TRUE(WriteField(brightness, -25, rollData));
    EXPECT_EQ(rollData, (Bytes {0xE7, 0xFF}));
    Bytes shortData(4);
    EXPECT_FALSE(WriteField(tilt, 1, shortData));
}

TEST(ControlRequests, PanAndTiltConvertAsTheV4l2BackendDoes)
{
    // The emulated scanner: 0..918000 arc-seconds in steps of 3600, default 460800.
    const UvcControl& pan = *FindUvcControl(PropertyFamily::CameraControl, CameraControl_Pan);
    const ControlRange wire {0, 918000, 3600, 460800};
    const ControlRange degrees = RangeFromWire(wire, pan.wirePerUnit);
    EXPECT_EQ(degrees.minimum, 0);
    EXPECT_EQ(degrees.maximum, 255);
    EXPECT_EQ(degrees.step, 1);
    EXPECT_EQ(degrees.defaultValue, 128);
    EXPECT_EQ(ToWire(145, pan.wirePerUnit, wire), 522000);
    EXPECT_EQ(ToWire(300, pan.wirePerUnit, wire), 918000) << "clamped to the range";
    const UvcControl& roll = *FindUvcControl(PropertyFamily::CameraControl, CameraControl_Roll);
    EXPECT_EQ(ToWire(1, roll.wirePerUnit, {0, 1, 1, 1}), 1);
}

TEST(ControlRequests, TheDescriptorsSayWhichEntityCarriesAControl)
{
    UvcFunction function;
    function.cameraTerminal = UvcCameraTerminal {1, {{0x00, 0x2A, 0x00}}}; // zoom, pan/tilt, roll
    function.processingUnit = UvcProcessingUnit {2, {{0x0B, 0x00}}};       // brightness, contrast, saturation
    EXPECT_EQ(EntityOf(*FindUvcControl(PropertyFamily::CameraControl, CameraControl_Roll), function), 1);
    EXPECT_EQ(EntityOf(*FindUvcControl(PropertyFamily::CameraControl, CameraControl_Tilt), function), 1);
    EXPECT_EQ(EntityOf(*FindUvcControl(PropertyFamily::VideoProcAmp, VideoProcAmp_Saturation), function), 2);
    EXPECT_FALSE(EntityOf(*FindUvcControl(PropertyFamily::VideoProcAmp, VideoProcAmp_Gamma), function));
    function.cameraTerminal.reset();
    EXPECT_FALSE(EntityOf(*FindUvcControl(PropertyFamily::CameraControl, CameraControl_Zoom), function));
}

TEST(ControlRequests, RequestErrorCodesBecomeResults)
{
    struct Case
    {
        Bytes answer;
        RequestError error;
        HRESULT result;
    };
    const Case cases[] = {
        {{1}, RequestError::NotReady, HresultFromWin32(ERROR_NOT_READY)},
        {{2}, RequestError::WrongState, E_FAIL},
        {{4}, RequestError::OutOfRange, E_INVALIDARG},
        {{5}, RequestError::InvalidUnit, E_PROP_ID_UNSUPPORTED},
        {{6}, RequestError::InvalidControl, E_PROP_ID_UNSUPPORTED},
        {{7}, RequestError::InvalidRequest, E_PROP_ID_UNSUPPORTED},
        {{8}, RequestError::InvalidValueWithinRange, E_INVALIDARG},
        {{0x42}, RequestError::Unknown, E_FAIL},
        {{}, RequestError::Unknown, E_FAIL},
    };
    for (const Case& c : cases) {
        const RequestError error = DecodeRequestError(c.answer);
        EXPECT_EQ(error, c.error) << RequestErrorName(c.error);
        EXPECT_EQ(ResultFromRequestError(error), c.result) << RequestErrorName(c.error);
    }
}

UvcStreamingInterface IsochronousInterface(std::vector<std::uint16_t> packetSizes)
{
    UvcStreamingInterface s;
    s.videoEndpoint = 0x81;
    s.alternates.push_back({0, {}});
    std::uint8_t alternate = 1;
    for (const std::uint16_t size : packetSizes)
        s.alternates.push_back({alternate++, {{0x81, 0x05, size, 1, std::nullopt}}});
    return s;
}

TEST(AlternateSetting, TheSmallestSettingThatCarriesThePayload)
{
    // 512, 1024, 3 x 1024 (high bandwidth), 1024 again, and 2 x 1024.
    const auto s = IsochronousInterface({512, 1024, 0x1400, 1024, 0x0C00});
    const struct
    {
        std::uint32_t payload;
        std::optional<IsochronousSetting> chosen;
    } cases[] = {
        {0, IsochronousSetting {1, 0x81, 512}},
        {1, IsochronousSetting {1, 0x81, 512}},
        {512, IsochronousSetting {1, 0x81, 512}},
        {513, IsochronousSetting {2, 0x81, 1024}},
        {1025, IsochronousSetting {5, 0x81, 2048}},
        {3072, IsochronousSetting {3, 0x81, 3072}},
        {3073, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseAlternateSetting(s, c.payload), c.chosen) << c.payload;
}

TEST(AlternateSetting, OnlyIsochronousVideoEndpointsCount)
{
    auto s = IsochronousInterface({1024});
    s.alternates.push_back({2, {{0x82, 0x05, 3072, 1, std::nullopt}}}); // another endpoint
    s.alternates.push_back({3, {{0x81, 0x02, 512, 0, std::nullopt}}});  // bulk
    EXPECT_EQ(ChooseAlternateSetting(s, 2000), std::nullopt);
    EXPECT_EQ(ChooseAlternateSetting(UvcStreamingInterface {}, 1), std::nullopt);
}

} // namespace
} // namespace vistrel::uvc
