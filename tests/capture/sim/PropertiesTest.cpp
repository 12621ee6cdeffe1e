// Camera properties of the simulated scanner and camera: ranges, refusals, and the film presets' values.
#include <gtest/gtest.h>

#include "SimTestSupport.h"

namespace vistrel::sim::test {
namespace {

struct Range {
    std::int32_t minimum, maximum, step, defaultValue, caps;
};

Range ReadRange(IAMPropertyFamily& family, std::int32_t property, HRESULT* hr)
{
    Range r {};
    *hr = family.GetRange(property, &r.minimum, &r.maximum, &r.step, &r.defaultValue, &r.caps);
    return r;
}

class ScannerPropertiesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = source.AddDevice({});
        filter = Bind(source, path);
        ASSERT_TRUE(filter);
        procAmp = filter->QueryVideoProcAmp();
        cameraControl = filter->QueryCameraControl();
        ASSERT_TRUE(procAmp && cameraControl);
    }
    IAMPropertyFamily& Family(int family) { return family == 0 ? static_cast<IAMPropertyFamily&>(*procAmp) : *cameraControl; }

    SimulatedDeviceSource source;
    std::string path;
    std::shared_ptr<IBaseFilter> filter;
    std::shared_ptr<IAMVideoProcAmp> procAmp;
    std::shared_ptr<IAMCameraControl> cameraControl;
};

TEST_F(ScannerPropertiesTest, TheScannersPropertiesAreSupportedWithSaneRanges)
{
    const std::pair<int, std::int32_t> supported[] = {
        {0, VideoProcAmp_Brightness}, {0, VideoProcAmp_Contrast}, {0, VideoProcAmp_Saturation},
        {0, VideoProcAmp_Gamma},      {1, CameraControl_Pan},     {1, CameraControl_Tilt},
        {1, CameraControl_Roll},      {1, CameraControl_Zoom},
    };
    for (auto [family, property] : supported) {
        SCOPED_TRACE(testing::Message() << family << "/" << property);
        HRESULT hr;
        const Range r = ReadRange(Family(family), property, &hr);
        ASSERT_EQ(hr, S_OK);
        EXPECT_LT(r.minimum, r.maximum);
        EXPECT_GE(r.defaultValue, r.minimum);
        EXPECT_LE(r.defaultValue, r.maximum);
        EXPECT_GT(r.step, 0);
        std::int32_t value = 0, flags = 0;
        ASSERT_EQ(Family(family).Get(property, &value, &flags), S_OK);
        EXPECT_EQ(value, r.defaultValue) << "a fresh device shows its defaults";
    }
    HRESULT hr;
    const Range roll = ReadRange(*cameraControl, CameraControl_Roll, &hr);
    EXPECT_EQ(roll.minimum, 0);
    EXPECT_EQ(roll.maximum, 1) << "film mode: as is, or negative inverted";
}

TEST_F(ScannerPropertiesTest, OtherPropertiesAreUnsupported)
{
    const std::pair<int, std::int32_t> unsupported[] = {
        {0, VideoProcAmp_Hue}, {0, VideoProcAmp_Sharpness}, {0, VideoProcAmp_WhiteBalance}, {0, VideoProcAmp_Gain},
        {0, 13}, {1, CameraControl_Exposure}, {1, CameraControl_Iris}, {1, CameraControl_Focus}, {1, 19},
    };
    for (auto [family, property] : unsupported) {
        SCOPED_TRACE(testing::Message() << family << "/" << property);
        HRESULT hr;
        ReadRange(Family(family), property, &hr);
        EXPECT_EQ(hr, E_PROP_ID_UNSUPPORTED);
        std::int32_t value = 0, flags = 0;
        EXPECT_EQ(Family(family).Get(property, &value, &flags), E_PROP_ID_UNSUPPORTED);
        EXPECT_EQ(Family(family).Set(property, 0, 0), E_PROP_ID_UNSUPPORTED);
    }
}

TEST_F(ScannerPropertiesTest, EveryFilmPresetValueIsTakenByTheDevice)
{
    struct Setting {
        int family;
        std::int32_t property;
        std::int32_t value;
    };
    // Slide, negative and black-and-white presets, as the window sends them.
    const Setting presets[] = {
        {1, CameraControl_Roll, 0},        {0, VideoProcAmp_Saturation, 45}, {0, VideoProcAmp_Brightness, 15},
        {0, VideoProcAmp_Contrast, 45},    {1, CameraControl_Pan, 128},      {0, VideoProcAmp_Gamma, 300},
        {1, CameraControl_Roll, 1},        {0, VideoProcAmp_Saturation, 63}, {0, VideoProcAmp_Brightness, 2},
        {0, VideoProcAmp_Contrast, 70},    {1, CameraControl_Pan, 145},      {1, CameraControl_Zoom, 110},
        {1, CameraControl_Tilt, 100},      {0, VideoProcAmp_Gamma, 400},     {0, VideoProcAmp_Saturation, 0},
        {0, VideoProcAmp_Brightness, -25}, {0, VideoProcAmp_Contrast, 50},
    };
    for (const auto& s : presets) {
        SCOPED_TRACE(testing::Message() << s.family << "/" << s.property << "=" << s.value);
        for (std::int32_t flags : {0, PropertyFlags_Manual}) {
            ASSERT_EQ(Family(s.family).Set(s.property, s.value, flags), S_OK);
            std::int32_t value = 0, readFlags = -1;
            ASSERT_EQ(Family(s.family).Get(s.property, &value, &readFlags), S_OK);
            EXPECT_EQ(value, s.value);
            EXPECT_EQ(readFlags, flags);
            EXPECT_EQ(source.PropertyValue(path, s.family, s.property), s.value);
        }
    }
}

TEST_F(ScannerPropertiesTest, OutOfRangeValuesAndAutomaticModeAreRefusedAndChangeNothing)
{
    for (int family : {0, 1}) {
        const std::int32_t property = family == 0 ? std::int32_t(VideoProcAmp_Brightness) : std::int32_t(CameraControl_Pan);
        HRESULT hr;
        const Range r = ReadRange(Family(family), property, &hr);
        ASSERT_EQ(hr, S_OK);
        ASSERT_EQ(Family(family).Set(property, r.minimum + 1, 0), S_OK);
        for (std::int32_t bad : {r.minimum - 1, r.maximum + 1})
            EXPECT_EQ(Family(family).Set(property, bad, 0), E_INVALIDARG) << bad;
        EXPECT_EQ(Family(family).Set(property, r.minimum, PropertyFlags_Auto), E_INVALIDARG);
        EXPECT_EQ(source.PropertyValue(path, family, property), r.minimum + 1);
    }
    EXPECT_EQ(source.PropertyValue(path, 2, 0), std::nullopt);
    EXPECT_EQ(source.PropertyValue("no such device", 0, 0), std::nullopt);
}

TEST(CameraProperties, ACameraHasPictureAdjustmentsButNoScannerControls)
{
    SimulatedDeviceSource source;
    DeviceOptions options;
    options.kind = DeviceOptions::Kind::Camera;
    auto filter = Bind(source, source.AddDevice(options));
    ASSERT_TRUE(filter);
    std::int32_t a, b, c, d, e;
    EXPECT_EQ(filter->QueryVideoProcAmp()->GetRange(VideoProcAmp_Brightness, &a, &b, &c, &d, &e), S_OK);
    for (std::int32_t property : {CameraControl_Pan, CameraControl_Tilt, CameraControl_Roll, CameraControl_Zoom})
        EXPECT_EQ(filter->QueryCameraControl()->GetRange(property, &a, &b, &c, &d, &e), E_PROP_ID_UNSUPPORTED);
}

} // namespace
} // namespace vistrel::sim::test
