#pragma once

#include "capture/contract/Result.h"
#include "capture/engine/CameraProperty.h"
#include "ids/ControlIds.h"

#include <array>

namespace vistrel {

class CaptureEngine;
class CCustomDrawSliderCtrl;
class WindowControls;

// The six sliders, in the window's member order.
constexpr std::array<int, 6> kSliderIds {IdBrightnessSlider, IdSaturationSlider, IdContrastSlider, IdRedSlider,
                                         IdGreenSlider, IdBlueSlider};
// The film-type radios, in the order of FilmType.
constexpr std::array<int, 3> kFilmTypeIds {IdSlide, IdNegative, IdBlackWhite};

// The adjustments: the sliders with their captions and value texts, the Default/Custom pair and the
// film-type radios, shown from the engine's property table. The table is the window's cache of the
// scanner's values: the panel reads it and never the device, and a change goes to the device's queue.
class AdjustmentsPanel
{
public:
    AdjustmentsPanel(WindowControls& controls, CaptureEngine& engine);

    HRESULT RefreshPropertyControls(const CameraProperty& slot);
    HRESULT RefreshAllPropertyControls();
    void CheckDefaultCustom(bool defaultChecked);

    // Whether a slider's notification is one the adjustments act on (a bound slider; line, page or track).
    bool HandlesScroll(int sliderId, int code);
    // A handled notification: the slot takes the slider's position and the scanner is sent it.
    void SliderScrolled(int sliderId);
    // The preset of a film-type radio; nothing for another control.
    void FilmTypeChosen(int radioId);
    // Keeps the controls of slots the scanner lacks (or a preset locks) disabled after a general enabling.
    void NarrowByPropertySlots();
    // Each slider is named after the caption beside it.
    void NameSlidersForAccessibility();

private:
    CCustomDrawSliderCtrl* Slider(int id) const;

    WindowControls& controls;
    CaptureEngine& engine;
};

} // namespace vistrel
