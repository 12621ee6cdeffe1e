#include <gtest/gtest.h>

#include "SimRig.h"
#include "support/CaseName.h"

namespace vistrel::test {
namespace {

using test::PrintTo; // cases print as their names

// Passes property calls to the device and writes each Set into a shared log.
template <class Interface>
class RecordingFamily : public Interface {
public:
    RecordingFamily(std::shared_ptr<Interface> inner, int family, std::shared_ptr<std::vector<std::string>> log)
        : inner(std::move(inner)), family(family), log(std::move(log)) {}
    HRESULT GetRange(std::int32_t p, std::int32_t* a, std::int32_t* b, std::int32_t* c, std::int32_t* d,
                     std::int32_t* e) override
    {
        return inner->GetRange(p, a, b, c, d, e);
    }
    HRESULT Set(std::int32_t p, std::int32_t value, std::int32_t flags) override
    {
        log->push_back("set " + std::to_string(family) + "," + std::to_string(p) + " = " + std::to_string(value) +
                       " flags " + std::to_string(flags));
        return inner->Set(p, value, flags);
    }
    HRESULT Get(std::int32_t p, std::int32_t* value, std::int32_t* flags) override { return inner->Get(p, value, flags); }

private:
    std::shared_ptr<Interface> inner;
    int family;
    std::shared_ptr<std::vector<std::string>> log;
};

// The scanner's filter with its property families wrapped for recording.
class RecordingFilter : public IBaseFilter {
public:
    RecordingFilter(std::shared_ptr<IBaseFilter> inner, std::shared_ptr<std::vector<std::string>> log)
        : inner(std::move(inner)), log(std::move(log)) {}
    HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>* pins) override { return inner->EnumPins(pins); }
    HRESULT JoinFilterGraph(IFilterGraph* g, const std::string& n) override { return inner->JoinFilterGraph(g, n); }
    std::string Name() const override { return inner->Name(); }
    HRESULT Run() override { return inner->Run(); }
    HRESULT Stop() override { return inner->Stop(); }
    HRESULT GetState(std::uint32_t t, FilterState* s) override { return inner->GetState(t, s); }
    std::shared_ptr<IAMVideoProcAmp> QueryVideoProcAmp() override
    {
        auto i = inner->QueryVideoProcAmp();
        return i ? std::make_shared<RecordingFamily<IAMVideoProcAmp>>(i, 0, log) : nullptr;
    }
    std::shared_ptr<IAMCameraControl> QueryCameraControl() override
    {
        auto i = inner->QueryCameraControl();
        return i ? std::make_shared<RecordingFamily<IAMCameraControl>>(i, 1, log) : nullptr;
    }

private:
    std::shared_ptr<IBaseFilter> inner;
    std::shared_ptr<std::vector<std::string>> log;
};

// The device's sets are written on the device queue's thread into a log of their own; the window's
// refreshes and checks into the host's.
struct PropertyRig : SimRig {
    std::string path;
    std::shared_ptr<std::vector<std::string>>& log = host.log;
    std::shared_ptr<std::vector<std::string>> deviceLog = std::make_shared<std::vector<std::string>>();

    PropertyRig()
    {
        path = Add(DeviceKind::Scanner);
        engine.SetScannerFilter(std::make_shared<RecordingFilter>(Bind(0), deviceLog));
    }

    void ClearLogs()
    {
        engine.WaitForDevice();
        log->clear();
        deviceLog->clear();
    }
    // The sets reach the device in the expected order, and the window's calls come in theirs; the two
    // no longer interleave, since the sets go out after the call has returned.
    void ExpectLog(const std::vector<std::string>& expected)
    {
        engine.WaitForDevice();
        std::vector<std::string> sets, window;
        for (const std::string& line : expected)
            (line.starts_with("set ") ? sets : window).push_back(line);
        EXPECT_EQ(*deviceLog, sets);
        EXPECT_EQ(*log, window);
    }

    std::int32_t Device(int family, std::int32_t property)
    {
        engine.WaitForDevice();
        return source->PropertyValue(path, family, property).value_or(-999);
    }
    const CameraProperty& Slot(int family, int index) { return engine.Property(family, index); }
};

struct Expected {
    int family;
    int index;
    std::int32_t value;
    bool supported;
};

struct PresetCase {
    const char* name;
    std::vector<FilmType> before; // presets applied first, log cleared after them
    FilmType preset;
    std::vector<std::string> log;
    std::vector<Expected> slots; // table values and enabling after the preset
    std::int32_t filmType;
    std::int32_t deviceFilmMode;
    std::int32_t gamma;
};

class FilmPresets : public ::testing::TestWithParam<PresetCase> {};

TEST_P(FilmPresets, SendAndRecordTheirValuesInOrder)
{
    const PresetCase& c = GetParam();
    PropertyRig rig;
    ASSERT_EQ(rig.engine.ReadCameraProperties(), S_OK);
    for (const FilmType t : c.before)
        rig.engine.ApplyFilmPreset(t);
    rig.ClearLogs();

    rig.engine.ApplyFilmPreset(c.preset);

    rig.ExpectLog(c.log);
    for (const auto& e : c.slots) {
        const CameraProperty& slot = rig.Slot(e.family, e.index);
        EXPECT_EQ(slot.value, e.value) << e.family << "," << e.index;
        EXPECT_EQ(slot.defaultValue, e.value) << e.family << "," << e.index;
        EXPECT_EQ(slot.supported, e.supported) << e.family << "," << e.index;
        EXPECT_EQ(rig.Device(e.family, e.index), e.value) << "device " << e.family << "," << e.index;
    }
    EXPECT_EQ(rig.engine.FilmTypeValue(), c.filmType);
    EXPECT_EQ(rig.Device(1, CameraControl_Roll), c.deviceFilmMode);
    EXPECT_EQ(rig.Device(0, VideoProcAmp_Gamma), c.gamma);
    EXPECT_EQ(rig.Slot(0, VideoProcAmp_Gamma).value, c.gamma);
    EXPECT_EQ(rig.Slot(0, VideoProcAmp_Gamma).flags, 0);
}

// The simulated scanner starts at brightness 0, contrast 50, saturation 50, colour gains 128, flags manual (2).
INSTANTIATE_TEST_SUITE_P(
    Presets, FilmPresets,
    ::testing::Values(
        PresetCase {"NegativeFromTheDevicesDefaults", {}, Negative,
                    {"set 1,2 = 1 flags 2",
                     "set 0,0 = 2 flags 0", "refresh 0,0",
                     "set 0,1 = 70 flags 0", "refresh 0,1",
                     "set 0,3 = 63 flags 0", "refresh 0,3",
                     "set 1,0 = 145 flags 0", "refresh 1,0",
                     "set 1,1 = 100 flags 0", "refresh 1,1",
                     "set 1,3 = 110 flags 0", "refresh 1,3",
                     "check default", "refresh all",
                     "set 0,5 = 400 flags 0"},
                    {{0, 3, 63, true}, {0, 0, 2, true}, {0, 1, 70, true}, {1, 0, 145, true}, {1, 3, 110, true}, {1, 1, 100, true}},
                    Negative, 1, 400},
        PresetCase {"SlideFromTheDevicesDefaults", {}, Slide,
                    {"set 1,2 = 0 flags 2",
                     "set 0,0 = 15 flags 0", "refresh 0,0",
                     "set 0,1 = 45 flags 0", "refresh 0,1",
                     "set 0,3 = 45 flags 0", "refresh 0,3",
                     "set 1,0 = 128 flags 0", "refresh 1,0",
                     "set 1,1 = 128 flags 0", "refresh 1,1",
                     "set 1,3 = 128 flags 0", "refresh 1,3",
                     "check default", "refresh all",
                     "set 0,5 = 300 flags 0"},
                    {{0, 3, 45, true}, {0, 0, 15, true}, {0, 1, 45, true}, {1, 0, 128, true}, {1, 3, 128, true}, {1, 1, 128, true}},
                    Slide, 0, 300},
        PresetCase {"BlackWhiteAfterNegative", {Negative}, BlackWhite,
                    {"set 0,0 = -25 flags 0", "refresh 0,0",
                     "set 0,1 = 50 flags 0", "refresh 0,1",
                     "set 0,3 = 0 flags 0", "refresh 0,3",
                     "set 1,0 = 128 flags 0", "refresh 1,0",
                     "set 1,1 = 128 flags 0", "refresh 1,1",
                     "set 1,3 = 128 flags 0", "refresh 1,3",
                     "check default",
                     "set 1,2 = 1 flags 2",
                     "refresh all",
                     "set 0,5 = 400 flags 0"},
                    {{0, 3, 0, false}, {0, 0, -25, true}, {0, 1, 50, true}, {1, 0, 128, false}, {1, 3, 128, false}, {1, 1, 128, false}},
                    BlackWhite, 1, 400},
        PresetCase {"SlideAfterBlackWhiteEnablesTheColourSlidersAgain", {Negative, BlackWhite}, Slide,
                    {"set 1,2 = 0 flags 2",
                     "set 0,0 = 15 flags 0", "refresh 0,0",
                     "set 0,1 = 45 flags 0", "refresh 0,1",
                     "set 0,3 = 45 flags 0", "refresh 0,3",
                     "check default", "refresh all",
                     "set 0,5 = 300 flags 0"},
                    {{0, 3, 45, true}, {0, 0, 15, true}, {0, 1, 45, true}, {1, 0, 128, true}, {1, 3, 128, true}, {1, 1, 128, true}},
                    Slide, 0, 300},
        PresetCase {"NegativeTwiceSendsOnlyTheFilmModeAndGamma", {Negative}, Negative,
                    {"set 1,2 = 1 flags 2", "check default", "refresh all", "set 0,5 = 400 flags 0"},
                    {{0, 3, 63, true}, {1, 1, 100, true}},
                    Negative, 1, 400}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FilmPresets, DoNothingWithoutAScanner)
{
    SimRig rig;
    rig.engine.ApplyFilmPreset(Slide);
    EXPECT_TRUE(rig.host.log->empty());
    EXPECT_EQ(rig.engine.FilmTypeValue(), 0);
    EXPECT_EQ(rig.engine.Property(0, VideoProcAmp_Saturation).defaultValue, 0);
}

TEST(CameraProperties, TheConstructorBindsTheWindowsControls)
{
    SimRig rig;
    struct Binding {
        int slider, family, index, caption, valueText;
    };
    const Binding bindings[] = {
        {1002, 0, 3, 3028, 3012}, {1003, 0, 0, 3029, 3013}, {1004, 0, 1, 3030, 3014},
        {1005, 1, 0, 3031, 3015}, {1006, 1, 3, 3032, 3016}, {1007, 1, 1, 3033, 3017},
    };
    for (const auto& b : bindings) {
        const CameraProperty* slot = rig.engine.SlotForSlider(b.slider);
        ASSERT_NE(slot, nullptr) << b.slider;
        EXPECT_EQ(slot, &rig.engine.Property(b.family, b.index));
        EXPECT_TRUE(slot->inUse);
        EXPECT_EQ(slot->controlKind, 0);
        EXPECT_EQ(slot->captionId, b.caption);
        EXPECT_EQ(slot->valueTextId, b.valueText);
        EXPECT_EQ(slot->pageSize, 10);
    }
    EXPECT_EQ(rig.engine.SlotForSlider(1001), nullptr);
    EXPECT_EQ(rig.engine.SlotForSlider(1008), nullptr);
    const CameraProperty& film = rig.engine.Property(1, CameraControl_Roll);
    EXPECT_TRUE(film.inUse);
    EXPECT_EQ(film.controlKind, 1);
    EXPECT_EQ(film.firstRadioId, 3003);
    EXPECT_EQ(film.lastRadioId, 3005);
    EXPECT_FALSE(rig.engine.Property(0, VideoProcAmp_Gamma).inUse);
    int inUse = 0;
    for (int i = 0; i < CaptureEngine::kVideoProcAmpCount; ++i)
        inUse += rig.engine.Property(0, i).inUse;
    for (int i = 0; i < CaptureEngine::kCameraControlCount; ++i)
        inUse += rig.engine.Property(1, i).inUse;
    EXPECT_EQ(inUse, 7);
}

struct ReadCase {
    const char* name;
    std::vector<std::tuple<int, std::int32_t, std::int32_t>> deviceValues; // set on the device before reading
    bool defaultChecked;
};

class ReadingProperties : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadingProperties, ChecksDefaultExactlyWhenEveryAdjustmentIsAtItsDefault)
{
    const ReadCase& c = GetParam();
    PropertyRig rig;
    auto filter = rig.Bind(0);
    for (const auto& [family, property, value] : c.deviceValues) {
        if (family == 0)
            ASSERT_EQ(filter->QueryVideoProcAmp()->Set(property, value, PropertyFlags_Manual), S_OK);
        else
            ASSERT_EQ(filter->QueryCameraControl()->Set(property, value, PropertyFlags_Manual), S_OK);
    }
    rig.host.defaultCustomChecks.clear();
    ASSERT_EQ(rig.engine.ReadCameraProperties(), S_OK);
    ASSERT_EQ(rig.host.defaultCustomChecks, std::vector<bool> {c.defaultChecked});

    const CameraProperty& brightness = rig.Slot(0, VideoProcAmp_Brightness);
    EXPECT_TRUE(brightness.supported);
    EXPECT_EQ(brightness.minimum, -64);
    EXPECT_EQ(brightness.maximum, 64);
    EXPECT_EQ(brightness.step, 1);
    EXPECT_EQ(brightness.flags, PropertyFlags_Manual);
}

INSTANTIATE_TEST_SUITE_P(
    Devices, ReadingProperties,
    ::testing::Values(ReadCase {"AllAtDefaults", {}, true},
                      ReadCase {"OneAdjustmentDiffers", {{1, CameraControl_Zoom, 90}}, false},
                      ReadCase {"OnlyTheFilmModeDiffers", {{1, CameraControl_Roll, 1}}, true},
                      ReadCase {"GammaIsNotAnAdjustment", {{0, VideoProcAmp_Gamma, 400}}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CameraProperties, ReadingWithoutAScannerFails)
{
    SimRig rig;
    EXPECT_EQ(rig.engine.ReadCameraProperties(), E_FAIL);
    EXPECT_TRUE(rig.host.defaultCustomChecks.empty());
}

TEST(CameraProperties, PropertiesTheDeviceLacksStayUnsupportedUntilAPresetEnablesThem)
{
    SimRig rig;
    rig.Add(DeviceKind::Camera);
    rig.engine.SetScannerFilter(rig.Bind(0));
    ASSERT_EQ(rig.engine.ReadCameraProperties(), S_OK);
    EXPECT_TRUE(rig.engine.Property(0, VideoProcAmp_Brightness).supported);
    for (const int index : {CameraControl_Pan, CameraControl_Tilt, CameraControl_Roll, CameraControl_Zoom})
        EXPECT_FALSE(rig.engine.Property(1, index).supported) << index;

    rig.engine.ApplyFilmPreset(Slide);
    EXPECT_TRUE(rig.engine.Property(1, CameraControl_Pan).supported);
    EXPECT_EQ(rig.engine.Property(1, CameraControl_Pan).value, 128);
    EXPECT_FALSE(rig.engine.Property(1, CameraControl_Roll).supported);
}

TEST(CameraProperties, SetCameraPropertySendsTheSlotThroughItsFamily)
{
    PropertyRig rig;
    ASSERT_EQ(rig.engine.ReadCameraProperties(), S_OK);
    CameraProperty& green = rig.engine.Property(1, CameraControl_Zoom);
    green.value = 77;
    rig.ClearLogs();
    rig.engine.SetCameraProperty(green);
    rig.ExpectLog(std::vector<std::string> {"set 1,3 = 77 flags 2"});
    EXPECT_EQ(rig.Device(1, CameraControl_Zoom), 77);

    // Without the interfaces the table keeps the value and nothing reaches the device.
    rig.engine.ReleasePropertyInterfaces();
    green.value = 99;
    rig.engine.SetCameraProperty(green);
    EXPECT_EQ(rig.Device(1, CameraControl_Zoom), 77);
    EXPECT_EQ(green.value, 99);
}

TEST(CameraProperties, RestoreDefaultsResendsAValueWhoseFlagsAreSet)
{
    PropertyRig rig;
    ASSERT_EQ(rig.engine.ReadCameraProperties(), S_OK); // every flag reads as manual (2)
    CameraProperty& contrast = rig.engine.Property(0, VideoProcAmp_Contrast);
    ASSERT_EQ(contrast.value, contrast.defaultValue);
    rig.ClearLogs();
    rig.engine.RestoreDefaultProperties();

    // Every supported adjustment is at its default but flagged: each is sent with capsFlags & 1; the
    // film mode is left alone.
    const std::vector<std::string> expected {
        "set 0,0 = 0 flags 0", "refresh 0,0", "set 0,1 = 50 flags 0", "refresh 0,1", "set 0,3 = 50 flags 0",
        "refresh 0,3", "set 1,0 = 128 flags 0", "refresh 1,0", "set 1,1 = 128 flags 0", "refresh 1,1",
        "set 1,3 = 128 flags 0", "refresh 1,3", "check default"};
    rig.ExpectLog(expected);

    rig.ClearLogs();
    rig.engine.RestoreDefaultProperties();
    rig.ExpectLog(std::vector<std::string> {"check default"});
}

TEST(CameraProperties, AnUnsupportedSlotIsNeitherRestoredNorEnabledUntilAPresetSaysSo)
{
    PropertyRig rig;
    ASSERT_EQ(rig.engine.ReadCameraProperties(), S_OK);
    rig.engine.ApplyFilmPreset(BlackWhite);
    CameraProperty& red = rig.engine.Property(1, CameraControl_Pan);
    ASSERT_FALSE(red.supported);
    red.value = 10;
    rig.ClearLogs();
    rig.engine.RestoreDefaultProperties();
    rig.ExpectLog(std::vector<std::string> {"check default"});
    EXPECT_EQ(red.value, 10);
}

} // namespace
} // namespace vistrel::test
