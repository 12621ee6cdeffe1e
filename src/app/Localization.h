#pragma once

// The program's localization and configuration API in one include.
#include "app/Configuration.h"
#include "app/LanguageChoice.h"
#include "app/LastError.h"
#include "app/StringModule.h"
#include "app/UiLanguage.h"

#include <QString>

#include <cstdint>
#include <span>

namespace vistrel {

// Longest text delivered; buffers hold kMaxStringUnits + 1 units for the terminator.
constexpr int kMaxStringUnits = 259;
constexpr int kStringBufferUnits = kMaxStringUnits + 1;

// Ids from this one on have no block (their block number would not fit in 16 bits).
constexpr std::uint32_t kFirstOutOfRangeStringId = 0xFFFF0;

// String ids of the tables.
enum StringId : std::uint32_t {
    IdsScan = 131, IdsAdjust = 132, IdsSaturation = 133, IdsBrightness = 134, IdsContrast = 135,
    IdsRed = 136, IdsGreen = 137, IdsBlue = 138, IdsDefault = 139, IdsCustom = 140,
    IdsFilmType = 141, IdsSlide = 142, IdsNegative = 143, IdsBlackWhite = 144, IdsResolution = 145,
    IdsFilmSize = 146, IdsSetting = 147, IdsUiLanguage = 148, IdsSaveFilmIn = 149, IdsBrowse = 150,
    IdsSaveSuccess = 151, IdsSaveFailed = 152, IdsConnectScanner = 153, IdsStandard = 154,
    IdsHigh = 155, IdsMirror = 156, IdsRotate = 157, IdsDelete = 158, IdsSave = 159,
    IdsFinalImages = 160, IdsStripFull = 161,

    // The program's own texts, in blocks 65 to 69 (ids 1024 to 1103), present in all eight tables.
    // The window's notices and questions.
    IdsDiscardUnsaved = 1024, IdsStillMissing = 1025, IdsStillDamaged = 1026, IdsStillTooLarge = 1027,
    IdsSaveProgress = 1028, IdsDeviceLocked = 1029, IdsErrorCaption = 1030, IdsSaveFailedHeading = 1031,
    IdsFailureLine = 1032, IdsOk = 1033, IdsYes = 1034, IdsNo = 1035,
    // Devices that cannot be used, or not fully.
    IdsNodeCannotOpen = 1040, IdsNodeAccessGroup = 1041, IdsNodeAccessAdmin = 1042, IdsUsbNodeNotWritable = 1043,
    IdsScannerLeftToDriver = 1044, IdsScannerHeldElsewhere = 1045,
    // The system's errors, in a few words.
    IdsErrorPermission = 1046, IdsErrorBusy = 1047, IdsErrorNoDevice = 1048, IdsErrorDiskFull = 1049,
    IdsErrorReadOnly = 1050, IdsErrorInputOutput = 1051, IdsErrorOther = 1052, IdsErrorFileTooLarge = 1053,
    IdsErrorQuota = 1054,
    // Why a file was not saved.
    IdsSaveCancelled = 1056, IdsNoSaveFolder = 1057, IdsEntryHoldsNoImage = 1058, IdsUnknownFormat = 1059,
    IdsNoWriter = 1060, IdsAbsurdImageSize = 1061, IdsFolderCannotBeMade = 1062, IdsCannotWriteIn = 1063,
    IdsWriteFailed = 1064, IdsEncodeFailed = 1065, IdsNotDurable = 1066, IdsNoFreeName = 1067,
    IdsScannedImageDamaged = 1068, IdsScannedImageTooLarge = 1069,
    // Accessible names.
    IdsThumbnailName = 1072, IdsFolderBoxName = 1073, IdsChooseFolderName = 1074, IdsEmptyThumbnailName = 1075,
    // Saving: the folder and why files were not written.
    IdsSaveFolderNotFullPath = 1120, IdsSaveFolderNameUnreadable = 1121, IdsFolderNotCreated = 1122,
    IdsReasonNoPermission = 1123, IdsReasonNameInTheWay = 1124, IdsReasonDiskFull = 1125,
    IdsReasonReadOnlyDisk = 1126, IdsReasonNameTooLong = 1127, IdsReasonSystemError = 1128,
    IdsSomeImagesNotSaved = 1129,
    // The strip kept across runs.
    IdsStillsRestored = 1104, IdsStillsUnreadable = 1105,
};

// The first and last ids of the program's own blocks.
constexpr std::uint32_t kFirstOwnStringId = 1024;
constexpr std::uint32_t kLastOwnStringId = 1103;

// The block that holds a string id (1-based, 16 ids a block).
constexpr std::uint16_t BlockOfString(std::uint32_t stringId)
{
    return static_cast<std::uint16_t>((stringId + 16) / 16);
}

// The program's own tables, embedded as resources; loaded on first use.
const StringModule& ProgramModule();

// The block in the language chosen by the fallback order: CurrentUiLanguage, then the user's
// default language when it differs, then the module's default choice. Empty when none has it.
// The view lives as long as the module.
std::span<const char16_t> FindLocalizedResource(const StringModule& module, std::uint16_t blockId);
// The same with the two languages given (the public one passes CurrentUiLanguage and
// GetUserDefaultLangID).
std::span<const char16_t> FindLocalizedResource(const StringModule& module, std::uint16_t blockId,
                                                LANGID current, LANGID userDefault);

// Copies string stringId into buffer (room for kStringBufferUnits units), terminates it and
// returns the number of units copied (at most kMaxStringUnits); 0 when absent. An id of
// kFirstOutOfRangeStringId or more returns 0 with last error kErrorResourceNameNotFound.
int LoadLocalizedString(const StringModule& module, std::uint32_t stringId, char16_t* buffer);
int LoadLocalizedString(const StringModule& module, std::uint32_t stringId, char16_t* buffer,
                        LANGID current, LANGID userDefault);

// LoadLocalizedString over ProgramModule() as a QString; *found tells an absent string apart.
QString LoadLocalizedText(std::uint32_t stringId, bool* found = nullptr);

} // namespace vistrel
