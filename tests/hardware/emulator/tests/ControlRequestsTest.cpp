// Class requests to the control interface, answered as the scanner answers them: values in its own
// units (pan and tilt in arc-seconds), stalls with the request error code a host reads afterwards.
#include <gtest/gtest.h>

#include <memory>

#include "ControlRequests.h"
#include "ScannerDescriptors.h"
#include "capture/contract/CameraControls.h"

namespace vistrel::uvcemu {
namespace {

using sim::PropertyFamily;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kGetType = 0xA1, kSetType = 0x21;

class ControlRequestsTest : public ::testing::Test {
protected:
    ControlAnswer Ask(std::uint8_t request, std::uint8_t entity, std::uint8_t selector, std::uint16_t length,
                      Bytes data = {})
    {
        const SetupPacket setup {request == SET_CUR ? kSetType : kGetType, request, std::uint16_t(selector << 8),
                                 std::uint16_t(entity << 8 | kControlInterface), length};
        return requests.Handle(setup, entity, selector, data);
    }
    std::uint8_t ErrorCode() { return Ask(GET_CUR, 0, VC_REQUEST_ERROR_CODE_CONTROL, 1).data.at(0); }

    std::shared_ptr<sim::SimulatedDevice> device = std::make_shared<sim::SimulatedDevice>(sim::DeviceOptions {});
    ControlRequests requests {*device};
};

Bytes Le32Pair(std::int32_t a, std::int32_t b)
{
    Bytes d;
    for (const auto v : {a, b})
        for (int i = 0; i < 4; ++i)
            d.push_back(std::uint8_t(std::uint32_t(v) >> (8 * i)));
    return d;
}

Bytes Le16(std::int32_t v) { return {std::uint8_t(v), std::uint8_t(std::uint32_t(v) >> 8)}; }

TEST_F(ControlRequestsTest, ReadsRangesInTheDevicesUnits)
{
    struct Case {
        std::uint8_t request, entity, selector;
        std::uint16_t length;
        Bytes reply;
        const char* decoded;
    };
    const Case cases[] = {
        {GET_CUR, kCameraTerminalId, CT_PANTILT_ABSOLUTE_CONTROL, 8, Le32Pair(460800, 460800), "460800,460800"},
        {GET_MIN, kCameraTerminalId, CT_PANTILT_ABSOLUTE_CONTROL, 8, Le32Pair(0, 0), "0,0"},
        {GET_MAX, kCameraTerminalId, CT_PANTILT_ABSOLUTE_CONTROL, 8, Le32Pair(918000, 918000), "918000,918000"},
        {GET_RES, kCameraTerminalId, CT_PANTILT_ABSOLUTE_CONTROL, 8, Le32Pair(3600, 3600), "3600,3600"},
        {GET_DEF, kCameraTerminalId, CT_PANTILT_ABSOLUTE_CONTROL, 8, Le32Pair(460800, 460800), "460800,460800"},
        {GET_MAX, kCameraTerminalId, CT_ZOOM_ABSOLUTE_CONTROL, 2, Le16(255), "255"},
        {GET_MAX, kCameraTerminalId, CT_ROLL_ABSOLUTE_CONTROL, 2, Le16(1), "1"},
        {GET_MIN, kProcessingUnitId, PU_BRIGHTNESS_CONTROL, 2, Le16(-64), "-64"},
        {GET_DEF, kProcessingUnitId, PU_CONTRAST_CONTROL, 2, Le16(50), "50"},
        {GET_MAX, kProcessingUnitId, PU_SATURATION_CONTROL, 2, Le16(100), "100"},
        {GET_CUR, kProcessingUnitId, PU_GAMMA_CONTROL, 2, Le16(300), "300"},
        {GET_INFO, kProcessingUnitId, PU_GAMMA_CONTROL, 1, {0x03}, ""},
    };
    for (const auto& c : cases) {
        const auto answer = Ask(c.request, c.entity, c.selector, c.length);
        SCOPED_TRACE(std::string(UvcRequestName(c.request)) + " unit " + std::to_string(c.entity) + " cs " +
                     std::to_string(c.selector));
        ASSERT_FALSE(answer.stalled);
        EXPECT_EQ(answer.data, c.reply);
        EXPECT_EQ(answer.decoded, c.decoded);
    }
}

TEST_F(ControlRequestsTest, SetsTakeDeviceUnitsAndRefuseWhatTheDeviceCannotHold)
{
    struct Case {
        std::uint8_t entity, selector;
        Bytes data;
        RequestError error; // None: taken
        PropertyFamily family;
        std::int32_t property, modelValue; // what the model holds afterwards
    };
    using enum PropertyFamily;
    const Case cases[] = {
        {kCameraTerminalId, CT_PANTILT_ABSOLUTE_CONTROL, Le32Pair(522000, 360000), RequestError::None, CameraControl,
         CameraControl_Tilt, 100},
        {kCameraTerminalId, CT_PANTILT_ABSOLUTE_CONTROL, Le32Pair(522001, 360000), RequestError::InvalidValueWithinRange,
         CameraControl, CameraControl_Pan, 128},
        {kCameraTerminalId, CT_PANTILT_ABSOLUTE_CONTROL, Le32Pair(360000, 921600), RequestError::OutOfRange,
         CameraControl, CameraControl_Pan, 128}, // neither half is taken
        {kCameraTerminalId, CT_PANTILT_ABSOLUTE_CONTROL, Le32Pair(-3600, 0), RequestError::OutOfRange, CameraControl,
         CameraControl_Pan, 128},
        {kCameraTerminalId, CT_ROLL_ABSOLUTE_CONTROL, Le16(1), RequestError::None, CameraControl, CameraControl_Roll, 1},
        {kCameraTerminalId, CT_ROLL_ABSOLUTE_CONTROL, Le16(2), RequestError::OutOfRange, CameraControl,
         CameraControl_Roll, 0},
        {kCameraTerminalId, CT_ZOOM_ABSOLUTE_CONTROL, Le16(110), RequestError::None, CameraControl, CameraControl_Zoom, 110},
        {kProcessingUnitId, PU_BRIGHTNESS_CONTROL, Le16(-25), RequestError::None, VideoProcAmp, VideoProcAmp_Brightness, -25},
        {kProcessingUnitId, PU_GAMMA_CONTROL, Le16(400), RequestError::None, VideoProcAmp, VideoProcAmp_Gamma, 400},
        {kProcessingUnitId, PU_GAMMA_CONTROL, Le16(99), RequestError::OutOfRange, VideoProcAmp, VideoProcAmp_Gamma, 300},
    };
    for (const auto& c : cases) {
        device->Unplug();
        device->Plug(); // defaults again
        const auto answer = Ask(SET_CUR, c.entity, c.selector, std::uint16_t(c.data.size()), c.data);
        SCOPED_TRACE("cs " + std::to_string(c.selector) + " -> " + answer.decoded);
        EXPECT_EQ(answer.stalled, c.error != RequestError::None);
        EXPECT_EQ(ErrorCode(), std::uint8_t(c.error));
        EXPECT_EQ(device->PropertyValue(c.family, c.property), c.modelValue);
    }
}

TEST_F(ControlRequestsTest, StallsWhatTheDeviceDoesNotHave)
{
    struct Case {
        std::uint8_t request, entity, selector;
        std::uint16_t length;
        RequestError error;
    };
    const Case cases[] = {
        {GET_LEN, kCameraTerminalId, CT_PANTILT_ABSOLUTE_CONTROL, 2, RequestError::InvalidRequest},
        {GET_CUR, kCameraTerminalId, CT_PANTILT_ABSOLUTE_CONTROL, 4, RequestError::InvalidRequest}, // wrong length
        {GET_CUR, kCameraTerminalId, 0x02 /* auto-exposure mode */, 1, RequestError::InvalidControl},
        {GET_CUR, kProcessingUnitId, 0x06 /* hue */, 2, RequestError::InvalidControl},
        {GET_CUR, kOutputTerminalId, 0x01, 1, RequestError::InvalidControl},
        {GET_CUR, 9, 0x01, 1, RequestError::InvalidUnit},
        {GET_MIN, kExtensionUnitId, sim::ExtensionUnitModel::kCommandControl, 8, RequestError::InvalidRequest},
        {GET_CUR, kExtensionUnitId, 5, 8, RequestError::InvalidControl},
        {SET_CUR, kExtensionUnitId, sim::ExtensionUnitModel::kIdentityControl, 8, RequestError::InvalidRequest},
        {GET_CUR, kExtensionUnitId, sim::ExtensionUnitModel::kIdentityControl, 4, RequestError::InvalidRequest},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(UvcRequestName(c.request)) + " unit " + std::to_string(c.entity) + " cs " +
                     std::to_string(c.selector));
        const auto answer = Ask(c.request, c.entity, c.selector, c.length, Bytes(c.request == SET_CUR ? c.length : 0));
        EXPECT_TRUE(answer.stalled);
        EXPECT_EQ(ErrorCode(), std::uint8_t(c.error));
    }
}

TEST_F(ControlRequestsTest, ExtensionUnitAnswersTheIdentificationExchange)
{
    using sim::ExtensionUnitModel;
    EXPECT_EQ(Ask(GET_INFO, kExtensionUnitId, ExtensionUnitModel::kCommandControl, 1).data, Bytes {0x03});
    EXPECT_EQ(Ask(GET_INFO, kExtensionUnitId, ExtensionUnitModel::kIdentityControl, 1).data, Bytes {0x01});
    EXPECT_EQ(Ask(GET_LEN, kExtensionUnitId, ExtensionUnitModel::kCommandControl, 2).data, (Bytes {8, 0}));
    EXPECT_EQ(Ask(GET_LEN, kExtensionUnitId, ExtensionUnitModel::kVersionControl, 2).data, (Bytes {4, 0}));

    // Before the command, control 11 holds nothing.
    EXPECT_EQ(Ask(GET_CUR, kExtensionUnitId, ExtensionUnitModel::kIdentityControl, 8).data, Bytes(8, 0));
    const Bytes command(ExtensionUnitModel::kIdentifyCommand.begin(), ExtensionUnitModel::kIdentifyCommand.end());
    const auto set = Ask(SET_CUR, kExtensionUnitId, ExtensionUnitModel::kCommandControl, 8, command);
    EXPECT_FALSE(set.stalled);
    EXPECT_EQ(set.decoded, "00d0000008000000");
    const auto identity = Ask(GET_CUR, kExtensionUnitId, ExtensionUnitModel::kIdentityControl, 8);
    EXPECT_EQ(identity.data, (Bytes {'R', 'E', 'A', 'L', 'S', 'I', 'L', 0}));
    EXPECT_EQ(identity.decoded, "5245414c53494c00");
}

TEST_F(ControlRequestsTest, AUnitStartingUpAnswersNotReadyForTheGivenNumberOfRequests)
{
    requests.SetNotReadyAnswers(2);
    using sim::ExtensionUnitModel;
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(Ask(GET_LEN, kExtensionUnitId, ExtensionUnitModel::kCommandControl, 2).stalled);
        EXPECT_EQ(ErrorCode(), std::uint8_t(RequestError::NotReady));
        // Other units answer meanwhile without spending the count.
        EXPECT_FALSE(Ask(GET_CUR, kProcessingUnitId, PU_GAMMA_CONTROL, 2).stalled);
    }
    EXPECT_EQ(Ask(GET_LEN, kExtensionUnitId, ExtensionUnitModel::kCommandControl, 2).data, (Bytes {8, 0}));
    EXPECT_EQ(ErrorCode(), 0);
}

} // namespace
} // namespace vistrel::uvcemu
