#include "window/AdjustmentsPanel.h"

#include "capture/engine/CaptureEngine.h"
#include "controls/CCustomDrawSliderCtrl.h"
#include "window/WindowControls.h"

#include <QLabel>
#include <QSignalBlocker>

#include <algorithm>
#include <iterator>
#include <utility>

namespace vistrel {

namespace {

// Each slider is named after the caption beside it.
constexpr std::array<std::pair<int, int>, 6> kSliderCaptions {{
    {IdSaturationSlider, IdSaturationCaption}, {IdBrightnessSlider, IdBrightnessCaption},
    {IdContrastSlider, IdContrastCaption}, {IdRedSlider, IdRedCaption}, {IdGreenSlider, IdGreenCaption},
    {IdBlueSlider, IdBlueCaption},
}};

// Handled trackbar notifications: line up/down, page up/down and thumb track.
bool IsHandledScrollCode(int code)
{
    return (code >= CCustomDrawSliderCtrl::LineUp && code <= CCustomDrawSliderCtrl::PageDown)
        || code == CCustomDrawSliderCtrl::ThumbTrack;
}

bool HasRadioGroup(const CameraProperty& slot)
{
    return slot.firstRadioId != 0 && slot.lastRadioId != 0 && slot.lastRadioId >= slot.firstRadioId;
}

} // namespace

AdjustmentsPanel::AdjustmentsPanel(WindowControls& controls, CaptureEngine& engine)
    : controls(controls)
    , engine(engine)
{
}

CCustomDrawSliderCtrl* AdjustmentsPanel::Slider(int id) const
{
    return controls.ControlAs<CCustomDrawSliderCtrl>(id);
}

HRESULT AdjustmentsPanel::RefreshPropertyControls(const CameraProperty& slot)
{
    if (slot.controlKind == kSliderControl) {
        for (int id : {slot.captionId, slot.sliderId, slot.valueTextId})
            controls.EnableControl(id, slot.supported);
        if (slot.supported) {
            if (CCustomDrawSliderCtrl* slider = Slider(slot.sliderId)) {
                const QSignalBlocker quiet(slider);
                slider->setRange(slot.minimum, slot.maximum);
                slider->setPageStep(slot.pageSize);
                slider->setSingleStep(slot.step);
                slider->setValue(slot.value);
            }
            if (slot.valueTextId)
                controls.SetControlText(slot.valueTextId, QString::number(slot.value));
        }
        return S_OK;
    }
    if (slot.controlKind == kRadioGroupControl) {
        controls.EnableControl(slot.captionId, slot.supported);
        const bool haveGroup = HasRadioGroup(slot);
        if (haveGroup) {
            for (int id = slot.firstRadioId; id <= slot.lastRadioId; ++id)
                controls.EnableControl(id, slot.supported);
        }
        // A value outside the group checks nothing rather than some unrelated control. A film mode the
        // device does not offer holds the preset last applied, never a value read from the device.
        if (haveGroup)
            controls.CheckRadio(slot.firstRadioId, slot.lastRadioId, slot.firstRadioId + slot.value);
        return S_OK;
    }
    return E_FAIL;
}

HRESULT AdjustmentsPanel::RefreshAllPropertyControls()
{
    for (int index = 0; index < CaptureEngine::kVideoProcAmpCount; ++index)
        RefreshPropertyControls(engine.Property(kVideoProcAmpFamily, index));
    for (int index = 0; index < CaptureEngine::kCameraControlCount; ++index)
        RefreshPropertyControls(engine.Property(kCameraControlFamily, index));
    return S_OK;
}

void AdjustmentsPanel::CheckDefaultCustom(bool defaultChecked)
{
    controls.CheckRadio(IdDefault, IdCustom, defaultChecked ? IdDefault : IdCustom);
}

bool AdjustmentsPanel::HandlesScroll(int sliderId, int code)
{
    return IsHandledScrollCode(code) && engine.SlotForSlider(sliderId) && Slider(sliderId);
}

void AdjustmentsPanel::SliderScrolled(int sliderId)
{
    const CameraProperty* bound = engine.SlotForSlider(sliderId);
    CCustomDrawSliderCtrl* slider = Slider(sliderId);
    if (!bound || !slider)
        return;
    CameraProperty& slot = engine.Property(bound->family, bound->index);
    slot.value = slider->sliderPosition();
    engine.SetCameraProperty(slot);   // queued: a drag never waits for the scanner
    controls.SetControlText(slot.valueTextId, QString::number(slot.value));
    CheckDefaultCustom(false);
}

void AdjustmentsPanel::FilmTypeChosen(int radioId)
{
    const auto position = std::find(kFilmTypeIds.begin(), kFilmTypeIds.end(), radioId) - kFilmTypeIds.begin();
    if (position >= std::ssize(kFilmTypeIds))
        return;
    engine.ApplyFilmPreset(static_cast<FilmType>(position));
}

void AdjustmentsPanel::NarrowByPropertySlots()
{
    for (int family : {kVideoProcAmpFamily, kCameraControlFamily}) {
        const int count = family == kVideoProcAmpFamily ? CaptureEngine::kVideoProcAmpCount
                                                        : CaptureEngine::kCameraControlCount;
        for (int index = 0; index < count; ++index) {
            const CameraProperty& slot = engine.Property(family, index);
            if (!slot.inUse || slot.supported)
                continue;
            if (slot.controlKind == kSliderControl) {
                for (int id : {slot.captionId, slot.sliderId, slot.valueTextId})
                    controls.EnableControl(id, false);
            } else if (slot.controlKind == kRadioGroupControl && slot.firstRadioId
                       && slot.lastRadioId >= slot.firstRadioId) {
                for (int id = slot.firstRadioId; id <= slot.lastRadioId; ++id)
                    controls.EnableControl(id, false);
            }
        }
    }
}

void AdjustmentsPanel::NameSlidersForAccessibility()
{
    for (auto [sliderId, captionId] : kSliderCaptions) {
        if (auto* caption = controls.ControlAs<QLabel>(captionId))
            controls.Control(sliderId)->setAccessibleName(caption->text());
    }
}

} // namespace vistrel
