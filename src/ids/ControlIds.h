#pragma once
// Control ids of the scanner window, as its layout table names them. The engine binds its camera
// properties to the adjustment controls by these ids and the window builds its controls with them,
// so both read them from here. Plain C++: the engine includes it without the toolkit.

namespace vistrel {

enum ControlId : int {
    IdChooser = 1000, IdPreview = 1001, IdSaturationSlider = 1002, IdBrightnessSlider = 1003,
    IdContrastSlider = 1004, IdRedSlider = 1005, IdGreenSlider = 1006, IdBlueSlider = 1007,
    IdFolderBox = 1008, IdChooseFolder = 1009, IdChooserCaption = 1010, IdSaveCaption = 1011,
    IdStatus = 1012, IdNoScannerPicture = 1013, IdNoScannerText = 1014, IdStripFrame = 1015, IdImageView = 1016,
    IdScan = 3000, IdStandard = 3001, IdHigh = 3002, IdSlide = 3003, IdNegative = 3004, IdBlackWhite = 3005,
    IdFilm135 = 3006, IdFilm126 = 3007, IdBrowse = 3008, IdSave = 3009, IdDelete = 3010, IdRotate = 3011,
    // The value beside each slider.
    IdSaturationValue = 3012, IdBrightnessValue = 3013, IdContrastValue = 3014, IdRedValue = 3015,
    IdGreenValue = 3016, IdBlueValue = 3017,
    IdMirror = 3018, IdHiddenDefault = 3021, IdDefault = 3022, IdCustom = 3023,
    // Group boxes and the caption before each slider.
    IdFilmTypeBox = 3024, IdResolutionBox = 3025, IdFilmSizeBox = 3026, IdAdjustBox = 3027,
    IdSaturationCaption = 3028, IdBrightnessCaption = 3029, IdContrastCaption = 3030, IdRedCaption = 3031,
    IdGreenCaption = 3032, IdBlueCaption = 3033, IdSaveBox = 3034,
    IdJpg = 3035, IdTiff = 3036, IdFirstThumbnail = 5000, IdLastThumbnail = 5011,
};

} // namespace vistrel
