// The scanner window's handlers: language, scanner presence, the adjustments, the save folder, Scan and
// the stills with their time-out, and the strip commands.
#include "window/VistrelDlg.h"

#include "app/Diagnostics.h"
#include "app/Localization.h"
#include "capture/contract/Guid.h"
#include "controls/CButtonST.h"
#include "controls/CXLabel.h"
#include "images/StillCheck.h"
#include "window/AdjustmentsPanel.h"
#include "window/NoticeLine.h"
#include "window/SaveController.h"
#include "window/ScannerPresence.h"
#include "window/StripView.h"
#include "window/TextFit.h"

#include <QGuiApplication>

#include <optional>
#include <utility>

namespace vistrel {

namespace {

// String id -> control, in the order the texts are applied.
constexpr std::array<std::pair<std::uint32_t, int>, 26> kLanguageTexts {{
    {IdsScan, IdScan}, {IdsAdjust, IdAdjustBox}, {IdsSaturation, IdSaturationCaption},
    {IdsBrightness, IdBrightnessCaption}, {IdsContrast, IdContrastCaption}, {IdsRed, IdRedCaption},
    {IdsGreen, IdGreenCaption}, {IdsBlue, IdBlueCaption}, {IdsDefault, IdDefault}, {IdsCustom, IdCustom},
    {IdsFilmType, IdFilmTypeBox}, {IdsSlide, IdSlide}, {IdsNegative, IdNegative}, {IdsBlackWhite, IdBlackWhite},
    {IdsResolution, IdResolutionBox}, {IdsFilmSize, IdFilmSizeBox}, {IdsUiLanguage, IdChooserCaption}, {IdsSaveFilmIn, IdSaveCaption},
    {IdsBrowse, IdBrowse}, {IdsStandard, IdStandard}, {IdsHigh, IdHigh}, {IdsMirror, IdMirror},
    {IdsRotate, IdRotate}, {IdsDelete, IdDelete}, {IdsSave, IdSave}, {IdsFinalImages, IdStripFrame},
}};

} // namespace

// ---- Language -----------------------------------------------------------------------------------

void CVistrelDlg::ApplyLanguage()
{
    for (auto [stringId, controlId] : kLanguageTexts) {
        bool found = false;
        const QString text = LoadLocalizedText(stringId, &found);
        if (found && !text.isEmpty())
            SetControlText(controlId, text);
    }
    bool found = false;
    const QString connect = LoadLocalizedText(IdsConnectScanner, &found);
    if (found && !connect.isEmpty())
        noDeviceLabel->ShowText(connect);
    statusLabel->ShowText(QString());
    // A long translation gets a smaller face rather than being cut off.
    for (auto [stringId, controlId] : kLanguageTexts)
        FitTextToControl(Control(controlId), font());
    // Our own texts showing at the moment follow the language too.
    notice->Relabel();
    if (saver)
        saver->Relabel();
    if (strip)
        NameControlsForAccessibility();
}

void CVistrelDlg::OnLanguageChosen(int index)
{
    if (index < 0 || index >= int(LanguageChoice.size()))
        return;
    SetCurrentUiLanguage(LanguageChoice[index].language);
    ApplyLanguage();
}

// ---- Scanner presence ---------------------------------------------------------------------------

bool CVistrelDlg::IsScannerAttached() const
{
    return presence && presence->IsScannerAttached();
}

bool CVistrelDlg::IsSaving() const
{
    return saver && saver->IsSaving();
}

void CVistrelDlg::EnableForScanner(QWidget* child)
{
    presence->EnableForScanner(child);
}

void CVistrelDlg::EnableForScannerAll()
{
    presence->EnableForScannerAll();
}

void CVistrelDlg::ApplyEnablingRule()
{
    EnableForScannerAll();
    // The strip's changes must not unlock controls that the property slots keep disabled (the
    // colour sliders under Black & White, properties the scanner lacks).
    if (IsScannerAttached())
        adjustments->NarrowByPropertySlots();
}

HRESULT CVistrelDlg::AttachScanner(std::shared_ptr<IBaseFilter> filter)
{
    DetachScanner();
    engine->SetScannerFilter(std::move(filter));
    Control(IdNoScannerPicture)->hide();
    noDeviceLabel->hide();
    EnableForScannerAll();
    statusLabel->ShowText(QString());
    engine->ReadCameraProperties();
    engine->ApplyFilmPreset(Negative);
    RefreshAllPropertyControls();
    engine->StartCapture();
    ReportLimitedScanner();
    return S_OK;
}

HRESULT CVistrelDlg::DetachScanner()
{
    StopStillTimer();
    engine->StopCapture();
    engine->SetScannerFilter(nullptr);
    engine->ReleasePropertyInterfaces();
    EnableForScannerAll();
    statusLabel->ShowText(QString());
    stillCount = 0;
    Control(IdNoScannerPicture)->show();
    noDeviceLabel->show();
    return S_OK;
}

void CVistrelDlg::ShowCaptureStatus(int kind, int messageId)
{
    if (kind == 0 || messageId == 0) {
        statusLabel->ShowText(QString());
        return;
    }
    const QColor colour(kind == 1 ? kStillArrivedColour : kStillMissingColour);
    statusLabel->ShowText(QString::number(stillCount));
    statusLabel->SetForeground(colour).SetBold(true).SetPointSize(kStatusPoints);
    statusLabel->SetBackground(QColor(kStatusBackground), QColor(0, 0, 0), false);
}

void CVistrelDlg::OnDeviceChange(const DeviceChange& change)
{
    if (closing || change.interfaceClass != KSCATEGORY_CAPTURE)
        return;
    if (change.event == DBT_DEVICEARRIVAL) {
        if (IsScannerAttached())
            return;
        std::shared_ptr<IBaseFilter> found;
        if (engine->FindScanner(&change.name, &engine->ScannerPath(), &found))
            AttachScanner(std::move(found));
        else
            ReportUnusableScanner();
    } else if (change.event == DBT_DEVICEREMOVECOMPLETE) {
        if (IsScannerAttached() && CaptureEngine::PathsEqualIgnoringCase(change.name, engine->ScannerPath()))
            DetachScanner();
    }
}

void CVistrelDlg::ReportUnusableScanner()
{
    presence->ReportUnusableScanner();
}

void CVistrelDlg::ReportLimitedScanner()
{
    presence->ReportLimitedScanner();
}

// ---- Property controls --------------------------------------------------------------------------

HRESULT CVistrelDlg::RefreshPropertyControls(const CameraProperty& slot)
{
    return adjustments->RefreshPropertyControls(slot);
}

HRESULT CVistrelDlg::RefreshAllPropertyControls()
{
    return adjustments->RefreshAllPropertyControls();
}

void CVistrelDlg::CheckDefaultCustom(bool defaultChecked)
{
    adjustments->CheckDefaultCustom(defaultChecked);
}

// ---- Settings handlers --------------------------------------------------------------------------

void CVistrelDlg::OnFilmType(int radioId)
{
    if (!IsScannerAttached())
        return;
    adjustments->FilmTypeChosen(radioId);
}

void CVistrelDlg::OnDefault()
{
    engine->RestoreDefaultProperties();
}

void CVistrelDlg::OnCustom()
{
    CheckDefaultCustom(true);
}

void CVistrelDlg::OnSliderScroll(int sliderId, int code)
{
    if (!adjustments->HandlesScroll(sliderId, code))
        return;
    UpdateData(true);
    adjustments->SliderScrolled(sliderId);
}

void CVistrelDlg::OnFilmSize()
{
    if (!IsScannerAttached())
        return;
    UpdateData(true);
    engine->StopCapture();
    engine->StartCapture();
}

void CVistrelDlg::OnResolution()
{
    UpdateData(true);
}

// ---- Save folder --------------------------------------------------------------------------------

void CVistrelDlg::OnChooseFolder()
{
    UpdateData(true);
    const std::optional<QString> chosen = services.folderChooser->ChooseFolder(this, settings.saveFolder);
    if (!chosen || chosen->isEmpty())
        return;
    // While the dialog was open a replug may have reset the film type: write back what the controls
    // show now, not what they showed before.
    UpdateData(true);
    settings.saveFolder = WithTrailingSeparator(*chosen);
    UpdateData(false);
}

void CVistrelDlg::OnBrowse()
{
    FocusFirstThumbnail();
    const ResolvedSaveFolder folder = ResolveSaveFolder(settings.saveFolder);
    services.folderOpener->OpenFolder(folder.check == SaveFolderCheck::Ok ? folder.path : settings.saveFolder);
}

// ---- Scan, stills and the time-out --------------------------------------------------------------

void CVistrelDlg::StartStillTimer()
{
    stillTimeout.start();   // a second Scan restarts the same timer
    stillTimer = kStillTimerId;
}

void CVistrelDlg::StopStillTimer()
{
    if (stillTimer != 0) {
        stillTimeout.stop();
        stillTimer = 0;
    }
}

void CVistrelDlg::OnScan()
{
    FocusFirstThumbnail();
    if (!IsScannerAttached() || IsSaving())
        return;
    if (strip->Strip().Count() >= ImageStrip::kMaxEntries) {
        services.prompts->ShowMessage(this, LoadLocalizedText(IdsStripFull), QString::fromLatin1(kApplicationName));
        return;
    }
    if (!engine->HasGraph())
        return;
    engine->TriggerStill();
    StartStillTimer();
}

std::int32_t CVistrelDlg::OnStillFrame(double, const std::uint8_t* bytes, std::int32_t length)
{
    // Streaming thread: copy the frame and note the time; everything else happens on the window's thread.
    if (!bytes || length <= 0)
        return 0;
    auto copy = std::make_shared<const std::vector<std::uint8_t>>(bytes, bytes + length);
    const CaptureTime arrival = LocalTimeNow();
    QMetaObject::invokeMethod(
        this, [this, copy = FrameBytes(std::move(copy)), arrival] { AddStill(copy, arrival); }, Qt::QueuedConnection);
    return 0;
}

void CVistrelDlg::AddStill(FrameBytes bytes, CaptureTime arrival)
{
    if (closing || !bytes || bytes->empty())
        return;
    std::int32_t decodedWidth = 0;
    std::int32_t decodedHeight = 0;
    const auto size = static_cast<std::int32_t>(bytes->size());
    const StillCheck check = CheckStill(bytes->data(), size, &decodedWidth, &decodedHeight);
    if (check != StillCheck::Ok) {
        const bool tooLarge = check == StillCheck::TooLarge;
        const Reason why = tooLarge ? Reason(ReasonCode::StillTooLarge).WithSize(decodedWidth, decodedHeight)
                                    : Reason(ReasonCode::StillDamaged);
        qCWarning(lcStill).noquote() << "a still of" << size << "bytes was refused:" << ReasonLogText(why).c_str();
        // The scanner did deliver: the time-out must not replace this notice with its own.
        StopStillTimer();
        notice->Show([tooLarge, width = decodedWidth, height = decodedHeight] {
            return tooLarge ? LocalizedText(IdsStillTooLarge, {QString::number(width), QString::number(height)})
                            : LocalizedText(IdsStillDamaged);
        });
        return;
    }

    CapturedImage entry;
    entry.id = NextImageId();
    entry.frameData = std::move(bytes);
    entry.frameSize = size;
    entry.captureTime = arrival;
    entry.filmType = engine->FilmTypeValue();
    entry.filmSize = settings.filmSize;
    entry.resolution = settings.resolution;
    const StillFormat& format = engine->CurrentStillFormat();
    // Without a still format read from the device the picture's own size is the only one known.
    const bool haveFormat = format.width > 0 && format.height > 0;
    entry.frameWidth = haveFormat ? format.width : decodedWidth;
    entry.frameHeight = haveFormat ? format.height : decodedHeight;

    if (strip->AppendStill(std::move(entry)) < 0)
        return;   // full: dropped, and the time-out keeps running
    StopStillTimer();
    ++stillCount;
    ShowCaptureStatus(1, IdsSaveSuccess);
    notice->Dismiss();
}

void CVistrelDlg::OnStillTimeout()
{
    qCWarning(lcStill) << "no still arrived within" << kStillTimeoutMs << "ms of the trigger";
    StopStillTimer();
    ++stillCount;
    ShowCaptureStatus(2, IdsSaveFailed);
    --stillCount;
    // The indicator above stays hidden, as the layout has it; the user hears of the failure here.
    notice->Show([] { return LocalizedText(IdsStillMissing); });
}

// ---- Strip and save -----------------------------------------------------------------------------

void CVistrelDlg::OnSave()
{
    FocusFirstThumbnail();
    if (IsSaving())
        return;
    UpdateData(true);
    if (strip->Strip().Count() == 0) {
        saver->Save(settings.saveFolder, settings.outputFormat);   // writes nothing, resets the strip
        return;
    }
    // The box keeps what was typed; the files go to the folder it means, or nowhere with a reason.
    const ResolvedSaveFolder folder = ResolveSaveFolder(settings.saveFolder);
    if (folder.check != SaveFolderCheck::Ok) {
        const StringId why = folder.check == SaveFolderCheck::NotFullPath ? IdsSaveFolderNotFullPath
                                                                         : IdsSaveFolderNameUnreadable;
        services.prompts->ShowMessage(this, LoadLocalizedText(why), QGuiApplication::applicationDisplayName());
        return;
    }
    saver->Save(folder.path, settings.outputFormat);
}

void CVistrelDlg::OnStripChanged()
{
    ApplyEnablingRule();
    statusLabel->ShowText(QString());
    NameControlsForAccessibility();
}

void CVistrelDlg::NameControlsForAccessibility()
{
    adjustments->NameSlidersForAccessibility();
    Control(IdFolderBox)->setAccessibleName(LocalizedText(IdsFolderBoxName));
    Control(IdChooseFolder)->setAccessibleName(LocalizedText(IdsChooseFolderName));
    const int count = strip->Strip().Count();
    for (int i = 0; i < int(thumbnails.size()); ++i) {
        thumbnails[i]->setAccessibleName(i < count
                                             ? LocalizedText(IdsThumbnailName, {QString::number(i + 1), QString::number(count)})
                                             : LocalizedText(IdsEmptyThumbnailName));
    }
}

void CVistrelDlg::OnSavingChanged(bool saving)
{
    ApplyEnablingRule();
    if (!saving && !IsSaving() && closeAfterSave) {
        closeAfterSave = false;
        reject();
    }
}

} // namespace vistrel
