// The camera-property table of CaptureEngine: bindings, reading, sending, defaults and film presets.
#include "capture/engine/CaptureEngine.h"

#include <span>
#include <string>

#include "capture/contract/Diagnostics.h"
#include "ids/ControlIds.h"

namespace vistrel {

namespace {

struct SlotId {
    int family;
    int index;
};

constexpr SlotId kBrightness {kVideoProcAmpFamily, VideoProcAmp_Brightness};
constexpr SlotId kContrast {kVideoProcAmpFamily, VideoProcAmp_Contrast};
constexpr SlotId kSaturation {kVideoProcAmpFamily, VideoProcAmp_Saturation};
constexpr SlotId kGamma {kVideoProcAmpFamily, VideoProcAmp_Gamma};
constexpr SlotId kRed {kCameraControlFamily, CameraControl_Pan};
constexpr SlotId kBlue {kCameraControlFamily, CameraControl_Tilt};
constexpr SlotId kFilmMode {kCameraControlFamily, CameraControl_Roll};
constexpr SlotId kGreen {kCameraControlFamily, CameraControl_Zoom};

struct SliderBinding {
    SlotId slot;
    int captionId;
    int sliderId;
    int valueTextId;
};

constexpr SliderBinding kSliderBindings[] = {
    {kBrightness, IdBrightnessCaption, IdBrightnessSlider, IdBrightnessValue},
    {kContrast, IdContrastCaption, IdContrastSlider, IdContrastValue},
    {kSaturation, IdSaturationCaption, IdSaturationSlider, IdSaturationValue},
    {kRed, IdRedCaption, IdRedSlider, IdRedValue},
    {kBlue, IdBlueCaption, IdBlueSlider, IdBlueValue},
    {kGreen, IdGreenCaption, IdGreenSlider, IdGreenValue},
};

constexpr int kFirstFilmTypeRadio = IdSlide;
constexpr int kLastFilmTypeRadio = IdBlackWhite;

// The defaults and gamma each film type gives the adjustments.
struct FilmPreset {
    std::int32_t saturation, brightness, contrast, red, green, blue;
    std::int32_t gamma;
};

constexpr FilmPreset kSlidePreset {45, 15, 45, 128, 128, 128, 300};
constexpr FilmPreset kNegativePreset {63, 2, 70, 145, 110, 100, 400};
constexpr FilmPreset kBlackWhitePreset {0, -25, 50, 128, 128, 128, 400};

constexpr std::int32_t kDeviceSlideMode = 0;
constexpr std::int32_t kDeviceNegativeMode = 1;

bool IsFilmModeSlot(const CameraProperty& slot)
{
    return slot.family == kFilmMode.family && slot.index == kFilmMode.index;
}

// A refused property request is logged with the property's name, the film mode as what it is here.
void DiagnoseSet(int family, int index, HRESULT hr)
{
    static constexpr const char* kVideoProcAmpNames[] = {"brightness", "contrast", "hue", "saturation", "sharpness",
                                                        "gamma", "colour enable", "white balance",
                                                        "backlight compensation", "gain"};
    static constexpr const char* kCameraControlNames[] = {"pan", "tilt", "film mode (roll)", "zoom", "exposure",
                                                         "iris", "focus"};
    if (Succeeded(hr))
        return;
    const bool procAmp = family == kVideoProcAmpFamily;
    const std::span<const char* const> names = procAmp ? std::span<const char* const>(kVideoProcAmpNames)
                                                       : std::span<const char* const>(kCameraControlNames);
    const std::string name = index >= 0 && static_cast<std::size_t>(index) < names.size()
                                 ? names[static_cast<std::size_t>(index)]
                                 : std::string(procAmp ? "video property " : "camera property ") + std::to_string(index);
    Diagnose(DiagnosticTopic::Capture, "setting the " + name + " failed: " + ResultText(hr));
}

} // namespace

void CaptureEngine::InitialisePropertyTable()
{
    for (int i = 0; i < kVideoProcAmpCount; ++i)
        videoProcAmpSlots[static_cast<std::size_t>(i)] = CameraProperty {.family = kVideoProcAmpFamily, .index = i};
    for (int i = 0; i < kCameraControlCount; ++i)
        cameraControlSlots[static_cast<std::size_t>(i)] = CameraProperty {.family = kCameraControlFamily, .index = i};

    for (const auto& binding : kSliderBindings) {
        CameraProperty& slot = Property(binding.slot.family, binding.slot.index);
        slot.inUse = true;
        slot.controlKind = kSliderControl;
        slot.captionId = binding.captionId;
        slot.sliderId = binding.sliderId;
        slot.valueTextId = binding.valueTextId;
        slot.pageSize = kPageSize;
    }
    CameraProperty& film = Property(kFilmMode.family, kFilmMode.index);
    film.inUse = true;
    film.controlKind = kRadioGroupControl;
    film.firstRadioId = kFirstFilmTypeRadio;
    film.lastRadioId = kLastFilmTypeRadio;
}

CameraProperty& CaptureEngine::Property(int family, int index)
{
    if (family == kVideoProcAmpFamily)
        return videoProcAmpSlots.at(static_cast<std::size_t>(index));
    return cameraControlSlots.at(static_cast<std::size_t>(index));
}

const CameraProperty* CaptureEngine::SlotForSlider(int sliderId)
{
    for (const auto& binding : kSliderBindings)
        if (binding.sliderId == sliderId)
            return &Property(binding.slot.family, binding.slot.index);
    return nullptr;
}

std::int32_t CaptureEngine::FilmTypeValue() const
{
    return cameraControlSlots[static_cast<std::size_t>(kFilmMode.index)].value;
}

IAMPropertyFamily* CaptureEngine::FamilyInterface(int family) const
{
    if (family == kVideoProcAmpFamily)
        return videoProcAmp.get();
    return cameraControl.get();
}

void CaptureEngine::ReleasePropertyInterfaces()
{
    cameraControl.reset();
    videoProcAmp.reset();
}

HRESULT CaptureEngine::ReadCameraProperties()
{
    if (!scannerFilter)
        return E_FAIL;
    // Learning the table reads the device directly; what was queued before goes first.
    WaitForDevice();
    ReleasePropertyInterfaces();
    videoProcAmp = scannerFilter->QueryVideoProcAmp();
    if (!videoProcAmp)
        return E_NOINTERFACE;
    cameraControl = scannerFilter->QueryCameraControl();
    if (!cameraControl)
        return E_NOINTERFACE;

    bool allDefault = true;
    auto readFamily = [&](auto& slots, IAMPropertyFamily& family) {
        for (CameraProperty& slot : slots) {
            if (!slot.inUse)
                continue;
            std::int32_t minimum = 0, maximum = 0, step = 0, defaultValue = 0, capsFlags = 0;
            const HRESULT range = family.GetRange(slot.index, &minimum, &maximum, &step, &defaultValue, &capsFlags);
            if (range == E_PROP_ID_UNSUPPORTED) {
                slot.supported = false;
            } else if (range == S_OK) {
                slot.supported = true;
                slot.minimum = minimum;
                slot.maximum = maximum;
                slot.step = step;
                slot.defaultValue = defaultValue;
                slot.capsFlags = capsFlags;
            } else {
                continue;
            }
            std::int32_t value = 0, flags = 0;
            if (Succeeded(family.Get(slot.index, &value, &flags))) {
                slot.value = value;
                slot.flags = flags;
            }
            if (allDefault && slot.value != slot.defaultValue && !IsFilmModeSlot(slot))
                allDefault = false;
        }
    };
    readFamily(videoProcAmpSlots, *videoProcAmp);
    readFamily(cameraControlSlots, *cameraControl);
    host.CheckDefaultCustom(allDefault);
    return S_OK;
}

void CaptureEngine::SetCameraProperty(const CameraProperty& slot)
{
    SendProperty(slot.family, slot.index, slot.value, slot.flags);
}

void CaptureEngine::SendProperty(int family, int index, std::int32_t value, std::int32_t flags)
{
    const std::shared_ptr<IAMPropertyFamily> target = family == kVideoProcAmpFamily
                                                          ? std::shared_ptr<IAMPropertyFamily>(videoProcAmp)
                                                          : std::shared_ptr<IAMPropertyFamily>(cameraControl);
    if (!target || !deviceQueue)
        return;
    ICaptureHost* const reportTo = &host;   // the host outlives the queue, which the engine joins
    deviceQueue->ChangeProperty({family, index}, [target, family, index, value, flags, reportTo] {
        const HRESULT hr = target->Set(index, value, flags);
        DiagnoseSet(family, index, hr);
        if (Failed(hr))
            reportTo->OnDeviceRequestFailed({DeviceRequestFailure::Kind::Property, family, index, hr});
    });
}

void CaptureEngine::RestoreDefaultProperties()
{
    auto restoreFamily = [&](auto& slots) {
        for (CameraProperty& slot : slots) {
            if (!slot.inUse || !slot.supported || IsFilmModeSlot(slot))
                continue;
            if (slot.value == slot.defaultValue && slot.flags == 0)
                continue;
            slot.value = slot.defaultValue;
            slot.flags = slot.capsFlags & PropertyFlags_Auto;
            SendProperty(slot.family, slot.index, slot.defaultValue, slot.flags);
            host.RefreshPropertyControls(slot);
        }
    };
    restoreFamily(videoProcAmpSlots);
    restoreFamily(cameraControlSlots);
    host.CheckDefaultCustom(true);
}

void CaptureEngine::SendFilmMode(std::int32_t deviceValue)
{
    CameraProperty& film = Property(kFilmMode.family, kFilmMode.index);
    film.value = deviceValue;
    SendProperty(kFilmMode.family, kFilmMode.index, deviceValue, film.flags);
}

void CaptureEngine::SendGamma(std::int32_t value)
{
    Property(kGamma.family, kGamma.index).value = value;
    SendProperty(kGamma.family, kGamma.index, value, 0);
}

void CaptureEngine::ApplyFilmPreset(FilmType type)
{
    if (!scannerFilter)
        return;
    auto slot = [this](SlotId id) -> CameraProperty& { return Property(id.family, id.index); };
    auto setSupported = [&](std::initializer_list<SlotId> ids, bool supported) {
        for (const SlotId id : ids)
            slot(id).supported = supported;
    };
    auto setDefaults = [&](const FilmPreset& preset) {
        slot(kSaturation).defaultValue = preset.saturation;
        slot(kBrightness).defaultValue = preset.brightness;
        slot(kContrast).defaultValue = preset.contrast;
        slot(kRed).defaultValue = preset.red;
        slot(kGreen).defaultValue = preset.green;
        slot(kBlue).defaultValue = preset.blue;
    };

    switch (type) {
    case Slide:
    case Negative: {
        const FilmPreset& preset = type == Slide ? kSlidePreset : kNegativePreset;
        SendFilmMode(type == Slide ? kDeviceSlideMode : kDeviceNegativeMode);
        setSupported({kSaturation, kRed, kGreen, kBlue}, true);
        setDefaults(preset);
        RestoreDefaultProperties();
        host.RefreshAllPropertyControls();
        SendGamma(preset.gamma);
        break;
    }
    case BlackWhite:
        // The device runs its negative mode; the window records black and white.
        setSupported({kSaturation, kBrightness, kContrast}, true);
        setDefaults(kBlackWhitePreset);
        RestoreDefaultProperties();
        SendFilmMode(kDeviceNegativeMode);
        slot(kFilmMode).value = BlackWhite;
        setSupported({kSaturation, kRed, kGreen, kBlue}, false);
        host.RefreshAllPropertyControls();
        SendGamma(kBlackWhitePreset.gamma);
        break;
    }
}

} // namespace vistrel
