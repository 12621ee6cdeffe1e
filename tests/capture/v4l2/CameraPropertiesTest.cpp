#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include "FakeIo.h"
#include "capture/v4l2/ControlTable.h"
#include "capture/linux/ErrnoResult.h"
#include "capture/v4l2/V4l2CameraProperties.h"

namespace vistrel::v4l2 {
namespace {

constexpr std::uint8_t kTerminal = 1;

struct BindingCase
{
    uvc::PropertyFamily family;
    std::int32_t property;
    std::uint32_t v4l2Id; // 0: no carrier
    std::int32_t wirePerUnit;
};

TEST(ControlTable, CarriesEachPropertyOnItsControl)
{
    const BindingCase cases[] = {
        {uvc::PropertyFamily::VideoProcAmp, VideoProcAmp_Brightness, V4L2_CID_BRIGHTNESS, 1},
        {uvc::PropertyFamily::VideoProcAmp, VideoProcAmp_Contrast, V4L2_CID_CONTRAST, 1},
        {uvc::PropertyFamily::VideoProcAmp, VideoProcAmp_Hue, V4L2_CID_HUE, 1},
        {uvc::PropertyFamily::VideoProcAmp, VideoProcAmp_Saturation, V4L2_CID_SATURATION, 1},
        {uvc::PropertyFamily::VideoProcAmp, VideoProcAmp_Sharpness, V4L2_CID_SHARPNESS, 1},
        {uvc::PropertyFamily::VideoProcAmp, VideoProcAmp_Gamma, V4L2_CID_GAMMA, 1},
        {uvc::PropertyFamily::VideoProcAmp, VideoProcAmp_ColorEnable, 0, 1},
        {uvc::PropertyFamily::VideoProcAmp, VideoProcAmp_WhiteBalance, V4L2_CID_WHITE_BALANCE_TEMPERATURE, 1},
        {uvc::PropertyFamily::VideoProcAmp, VideoProcAmp_BacklightCompensation, V4L2_CID_BACKLIGHT_COMPENSATION, 1},
        {uvc::PropertyFamily::VideoProcAmp, VideoProcAmp_Gain, V4L2_CID_GAIN, 1},
        {uvc::PropertyFamily::VideoProcAmp, 10, 0, 1},
        {uvc::PropertyFamily::VideoProcAmp, 13, V4L2_CID_POWER_LINE_FREQUENCY, 1},
        {uvc::PropertyFamily::VideoProcAmp, 14, 0, 1},
        {uvc::PropertyFamily::CameraControl, CameraControl_Pan, V4L2_CID_PAN_ABSOLUTE, uvc::kArcSecondsPerDegree},
        {uvc::PropertyFamily::CameraControl, CameraControl_Tilt, V4L2_CID_TILT_ABSOLUTE, uvc::kArcSecondsPerDegree},
        {uvc::PropertyFamily::CameraControl, CameraControl_Roll, 0, 1}, // uvcvideo offers no way to it
        {uvc::PropertyFamily::CameraControl, CameraControl_Zoom, V4L2_CID_ZOOM_ABSOLUTE, 1},
        {uvc::PropertyFamily::CameraControl, CameraControl_Exposure, V4L2_CID_EXPOSURE_ABSOLUTE, 1},
        {uvc::PropertyFamily::CameraControl, CameraControl_Iris, V4L2_CID_IRIS_ABSOLUTE, 1},
        {uvc::PropertyFamily::CameraControl, CameraControl_Focus, V4L2_CID_FOCUS_ABSOLUTE, 1},
        {uvc::PropertyFamily::CameraControl, 7, 0, 1},
        {uvc::PropertyFamily::CameraControl, 19, 0, 1},
        {uvc::PropertyFamily::CameraControl, -1, 0, 1},
    };
    for (const BindingCase& c : cases) {
        const ControlBinding* binding = FindControlBinding(c.family, c.property);
        if (c.v4l2Id == 0) {
            EXPECT_EQ(binding, nullptr) << static_cast<int>(c.family) << "/" << c.property;
            continue;
        }
        ASSERT_NE(binding, nullptr) << static_cast<int>(c.family) << "/" << c.property;
        EXPECT_EQ(binding->v4l2Id, c.v4l2Id) << static_cast<int>(c.family) << "/" << c.property;
        EXPECT_EQ(binding->wirePerUnit, c.wirePerUnit) << static_cast<int>(c.family) << "/" << c.property;
    }
}

class CameraPropertiesTest : public testing::Test
{
protected:
    CameraPropertiesTest()
    {
        io = std::make_shared<test::FakeIo>();
        io->controls[V4L2_CID_BRIGHTNESS] = {{-64, 64, 1, 0, false}, 12};
        // Pan in arc-seconds, as uvcvideo passes the device's units through.
        io->controls[V4L2_CID_PAN_ABSOLUTE] = {{0, 255 * 3600, 3600, 128 * 3600, false}, 145 * 3600};
        io->controls[V4L2_CID_WHITE_BALANCE_TEMPERATURE] = {{2800, 6500, 10, 4600, false}, 5000};
        io->controls[V4L2_CID_AUTO_WHITE_BALANCE] = {{0, 1, 1, 1, false}, 1};
        io->controls[V4L2_CID_EXPOSURE_ABSOLUTE] = {{3, 2047, 1, 250, false}, 250};
        io->controls[V4L2_CID_EXPOSURE_AUTO] = {{0, 3, 1, 3, false}, V4L2_EXPOSURE_MANUAL};
        io->controls[V4L2_CID_GAMMA] = {{100, 500, 1, 300, true}, 300}; // disabled by the driver
        // The device has roll on its camera terminal, but the driver takes unit queries for extension
        // units only.
        io->unitControls[{kTerminal, UVC_CT_ROLL_ABSOLUTE_CONTROL}] = test::UnitControl::With(
            0x03, {0x01, 0x00}, {{UVC_GET_MIN, {0x4C, 0xFF}}, {UVC_GET_MAX, {0xB4, 0x00}},
                                 {UVC_GET_RES, {0x01, 0x00}}, {UVC_GET_DEF, {0x00, 0x00}}});
        procAmp = MakeVideoProcAmp(io);
        camera = MakeCameraControl(io);
    }

    struct Range
    {
        std::int32_t minimum = 0, maximum = 0, step = 0, defaultValue = 0, caps = 0;
    };
    static HRESULT RangeOf(IAMPropertyFamily& family, std::int32_t property, Range& r)
    {
        return family.GetRange(property, &r.minimum, &r.maximum, &r.step, &r.defaultValue, &r.caps);
    }

    std::shared_ptr<test::FakeIo> io;
    std::shared_ptr<IAMVideoProcAmp> procAmp;
    std::shared_ptr<IAMCameraControl> camera;
};

TEST_F(CameraPropertiesTest, RangeValueAndFlagsOfAPlainControl)
{
    Range r;
    ASSERT_EQ(RangeOf(*camera, CameraControl_Pan, r), S_OK);
    EXPECT_EQ(r.minimum, 0);
    EXPECT_EQ(r.maximum, 255);
    EXPECT_EQ(r.step, 1);
    EXPECT_EQ(r.defaultValue, 128);
    EXPECT_EQ(r.caps, PropertyFlags_Manual);
    std::int32_t value = 0;
    std::int32_t flags = 0;
    ASSERT_EQ(camera->Get(CameraControl_Pan, &value, &flags), S_OK);
    EXPECT_EQ(value, 145);
    EXPECT_EQ(flags, PropertyFlags_Manual);

    EXPECT_EQ(procAmp->Set(VideoProcAmp_Brightness, -25, 0), S_OK);
    EXPECT_EQ(io->controls[V4L2_CID_BRIGHTNESS].value, -25);
    EXPECT_EQ(procAmp->Set(VideoProcAmp_Brightness, 5, PropertyFlags_Auto), E_INVALIDARG)
        << "no automatic mode to switch to";
    EXPECT_EQ(io->controls[V4L2_CID_BRIGHTNESS].value, -25);
}

TEST_F(CameraPropertiesTest, AbsentAndDisabledControlsAreUnsupported)
{
    Range r;
    std::int32_t value = 0;
    std::int32_t flags = 0;
    EXPECT_EQ(RangeOf(*procAmp, VideoProcAmp_Contrast, r), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(procAmp->Get(VideoProcAmp_Contrast, &value, &flags), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(procAmp->Set(VideoProcAmp_Contrast, 1, 0), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(RangeOf(*procAmp, VideoProcAmp_Gamma, r), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(RangeOf(*procAmp, VideoProcAmp_ColorEnable, r), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(RangeOf(*camera, 12, r), E_PROP_ID_UNSUPPORTED);
}

TEST_F(CameraPropertiesTest, AutomaticModeGoesThroughItsSwitch)
{
    Range r;
    ASSERT_EQ(RangeOf(*procAmp, VideoProcAmp_WhiteBalance, r), S_OK);
    EXPECT_EQ(r.caps, PropertyFlags_Manual | PropertyFlags_Auto);
    std::int32_t value = 0;
    std::int32_t flags = 0;
    ASSERT_EQ(procAmp->Get(VideoProcAmp_WhiteBalance, &value, &flags), S_OK);
    EXPECT_EQ(flags, PropertyFlags_Auto);

    io->log.clear();
    ASSERT_EQ(procAmp->Set(VideoProcAmp_WhiteBalance, 5600, PropertyFlags_Manual), S_OK);
    const std::vector<std::string> manual = {"set " + std::to_string(V4L2_CID_AUTO_WHITE_BALANCE) + " 0",
                                             "set " + std::to_string(V4L2_CID_WHITE_BALANCE_TEMPERATURE) + " 5600"};
    EXPECT_EQ(io->log, manual) << "automatic mode off before the value";
    ASSERT_EQ(procAmp->Get(VideoProcAmp_WhiteBalance, &value, &flags), S_OK);
    EXPECT_EQ(flags, PropertyFlags_Manual);

    ASSERT_EQ(camera->Set(CameraControl_Exposure, 0, PropertyFlags_Auto), S_OK);
    EXPECT_EQ(io->controls[V4L2_CID_EXPOSURE_AUTO].value, V4L2_EXPOSURE_APERTURE_PRIORITY);
    EXPECT_EQ(io->controls[V4L2_CID_EXPOSURE_ABSOLUTE].value, 250) << "the value stays";
    ASSERT_EQ(camera->Get(CameraControl_Exposure, &value, &flags), S_OK);
    EXPECT_EQ(flags, PropertyFlags_Auto);
}

TEST_F(CameraPropertiesTest, RollOnTheCameraTerminalIsUnsupported)
{
    Range r;
    std::int32_t value = 0;
    std::int32_t flags = 0;
    EXPECT_EQ(RangeOf(*camera, CameraControl_Roll, r), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(camera->Get(CameraControl_Roll, &value, &flags), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ(camera->Set(CameraControl_Roll, 1, 0), E_PROP_ID_UNSUPPORTED);
    EXPECT_EQ((io->unitControls[{kTerminal, UVC_CT_ROLL_ABSOLUTE_CONTROL}].value), (std::vector<std::uint8_t> {0x01, 0x00}));
    EXPECT_TRUE(io->log.empty()) << "the driver refuses it: nothing is asked";
}

TEST_F(CameraPropertiesTest, RollIsUnsupportedWhereNeitherTheTerminalNorTheDriverOffersIt)
{
    Range r;
    io->unitControls.clear();
    EXPECT_EQ(RangeOf(*camera, CameraControl_Roll, r), E_PROP_ID_UNSUPPORTED);
    io->extensionUnits = {kTerminal}; // not even a driver that took the terminal's requests is asked
    EXPECT_EQ(RangeOf(*camera, CameraControl_Roll, r), E_PROP_ID_UNSUPPORTED);
    EXPECT_TRUE(io->log.empty());
}

TEST_F(CameraPropertiesTest, PanAndTiltAreDegreesOnTheDevicesStep)
{
    // The device's range in arc-seconds: 0..255 degrees in steps of one, and a tilt of odd bounds and
    // a step of half a degree.
    io->controls[V4L2_CID_TILT_ABSOLUTE] = {{-3601, 7300, 1800, 1799, false}, -1800};
    Range r;
    ASSERT_EQ(RangeOf(*camera, CameraControl_Tilt, r), S_OK);
    EXPECT_EQ(r.minimum, -1) << "range ends inward, so both lie on the device";
    EXPECT_EQ(r.maximum, 2);
    EXPECT_EQ(r.step, 1) << "never a step of zero";
    EXPECT_EQ(r.defaultValue, 0);
    std::int32_t value = 0;
    std::int32_t flags = 0;
    ASSERT_EQ(camera->Get(CameraControl_Tilt, &value, &flags), S_OK);
    EXPECT_EQ(value, -1) << "half a degree rounds away from zero";

    struct Case
    {
        std::uint32_t control;
        std::int32_t degrees;
        std::int32_t wire;
    };
    const Case cases[] = {
        {V4L2_CID_PAN_ABSOLUTE, 145, 145 * 3600}, // a preset means the same colour on every platform
        {V4L2_CID_PAN_ABSOLUTE, 100, 100 * 3600},
        {V4L2_CID_PAN_ABSOLUTE, 0, 0},
        {V4L2_CID_PAN_ABSOLUTE, 300, 255 * 3600}, // kept inside the range
        {V4L2_CID_PAN_ABSOLUTE, -5, 0},
        {V4L2_CID_PAN_ABSOLUTE, 2'000'000'000, 255 * 3600}, // no overflow on the way
        {V4L2_CID_TILT_ABSOLUTE, 1, -3601 + 4 * 1800}, // the step grid runs from the minimum
        {V4L2_CID_TILT_ABSOLUTE, 2, -3601 + 6 * 1800},
        {V4L2_CID_TILT_ABSOLUTE, 3, -3601 + 6 * 1800}, // the last step inside the maximum
        {V4L2_CID_TILT_ABSOLUTE, -1, -3601},
    };
    for (const Case& c : cases) {
        const std::int32_t property = c.control == V4L2_CID_PAN_ABSOLUTE ? CameraControl_Pan : CameraControl_Tilt;
        ASSERT_EQ(camera->Set(property, c.degrees, 0), S_OK) << c.degrees;
        EXPECT_EQ(io->controls[c.control].value, c.wire) << property << " " << c.degrees;
    }
    ASSERT_EQ(camera->Set(CameraControl_Pan, 145, 0), S_OK);
    ASSERT_EQ(camera->Get(CameraControl_Pan, &value, &flags), S_OK);
    EXPECT_EQ(value, 145);
}

TEST_F(CameraPropertiesTest, DeviceFailuresAreNotMistakenForAbsence)
{
    Range r;
    io->controlError = ENODEV;
    EXPECT_EQ(RangeOf(*procAmp, VideoProcAmp_Brightness, r), HresultFromWin32(ERROR_DEVICE_NOT_CONNECTED));
    io->controlError = EBUSY;
    EXPECT_EQ(procAmp->Set(VideoProcAmp_Brightness, 3, 0), HresultFromWin32(ERROR_NOT_READY));
    EXPECT_EQ(procAmp->GetRange(VideoProcAmp_Brightness, nullptr, &r.maximum, &r.step, &r.defaultValue, &r.caps),
              E_POINTER);
}

} // namespace
} // namespace vistrel::v4l2
