#include "window/ScannerPresence.h"

#include "capture/engine/CaptureEngine.h"
#include "ids/ControlIds.h"
#include "window/NoticeLine.h"
#include "window/ReasonText.h"
#include "window/WindowControls.h"

#include <QDialog>
#include <QLineEdit>
#include <QMetaObject>

#include <algorithm>
#include <array>
#include <utility>

namespace vistrel {

namespace {

// Controls whose enabled state does not follow the scanner.
constexpr std::array<int, 6> kAlwaysUsable {IdChooser, IdFolderBox, IdChooseFolder, IdChooserCaption, IdSaveCaption,
                                            IdBrowse};

// Controls that wait while a save runs: Scan and the strip commands.
bool IsStripCommand(int id)
{
    return id == IdScan || id == IdSave || id == IdDelete || id == IdRotate || id == IdMirror
        || (id >= IdFirstThumbnail && id <= IdLastThumbnail);
}

} // namespace

ScannerPresence::ScannerPresence(QDialog& window, WindowControls& controls, CaptureEngine& engine,
                                 ICapturePlatform& platform, NoticeLine& notice, std::function<bool()> isSaving)
    : window(window)
    , controls(controls)
    , engine(engine)
    , platform(platform)
    , notice(notice)
    , isSaving(std::move(isSaving))
{
}

bool ScannerPresence::IsScannerAttached() const
{
    return engine.ScannerFilter() != nullptr;
}

std::optional<bool> ScannerPresence::EnabledByRule(int id) const
{
    if (std::find(kAlwaysUsable.begin(), kAlwaysUsable.end(), id) != kAlwaysUsable.end())
        return std::nullopt;
    return IsScannerAttached() && !(isSaving() && IsStripCommand(id));
}

void ScannerPresence::EnableForScanner(QWidget* child)
{
    if (const std::optional<bool> enabled = EnabledByRule(child->property("controlId").toInt()))
        child->setEnabled(*enabled);
}

void ScannerPresence::EnableForScannerAll()
{
    // Disabling controls pushes the focus about: a disabled focused control hands it on, and a
    // disabled button hands it to the next tab stop even when it did not hold it. That may be a
    // slider the next arrow key moves, or the folder box, which selects its whole path. So the
    // focus stays where it was while that control stays usable; otherwise the window holds it, as a
    // disabled control would keep it on the platform, and gives it to the first thumbnail once that
    // is usable.
    QWidget* const before = window.focusWidget();
    const bool heldByControl = before && before != &window;
    // The folder box keeps the user's cursor and selection through the handing about.
    auto* const edit = qobject_cast<QLineEdit*>(before);
    const int cursor = edit ? edit->cursorPosition() : 0;
    const int selectionStart = edit ? edit->selectionStart() : -1;
    const int selectionLength = edit ? edit->selectionLength() : 0;
    const auto& all = controls.All();
    if (heldByControl) {
        const auto owner = std::find_if(all.begin(), all.end(), [before](const auto& entry) {
            return entry.second == before || entry.second->isAncestorOf(before);
        });
        if (owner != all.end() && EnabledByRule(owner->first) == std::optional<bool>(false))
            window.setFocus(Qt::OtherFocusReason);
    }
    for (const auto& [id, widget] : all)
        EnableForScanner(widget);

    if (heldByControl && before->isEnabled() && before->isVisible()) {
        if (window.focusWidget() != before)
            before->setFocus(Qt::OtherFocusReason);
        if (edit && selectionStart >= 0)
            edit->setSelection(selectionStart, selectionLength);
        else if (edit)
            edit->setCursorPosition(cursor);
        return;
    }
    QWidget* const firstThumbnail = controls.Control(IdFirstThumbnail);
    thumbnailFocusPending = thumbnailFocusPending || heldByControl;
    if (thumbnailFocusPending && firstThumbnail->isEnabled()) {
        thumbnailFocusPending = false;
        firstThumbnail->setFocus(Qt::OtherFocusReason);
    } else if (before && window.focusWidget() != &window) {
        window.setFocus(Qt::OtherFocusReason);
    }
}

void ScannerPresence::FocusFirstThumbnail()
{
    QWidget* const firstThumbnail = controls.Control(IdFirstThumbnail);
    if (firstThumbnail->isEnabled()) {
        thumbnailFocusPending = false;
        firstThumbnail->setFocus(Qt::OtherFocusReason);
        return;
    }
    // A disabled control cannot hold the focus here: the window keeps it, so typing goes nowhere,
    // and hands it to the thumbnail once that becomes usable.
    thumbnailFocusPending = true;
    window.setFocus(Qt::OtherFocusReason);
}

void ScannerPresence::RegisterDeviceNotifications(std::function<void(const DeviceChange&)> onChange)
{
    deviceNotification = engine.RegisterDeviceNotification(
        [target = &window, onChange = std::move(onChange)](const DeviceChange& change) {
            QMetaObject::invokeMethod(target, [onChange, change] { onChange(change); }, Qt::QueuedConnection);
        });
}

void ScannerPresence::UnregisterDeviceNotifications()
{
    if (deviceNotification != 0) {
        engine.UnregisterDeviceNotification(deviceNotification);
        deviceNotification = 0;
    }
}

// A scanner that is there but cannot be opened (permissions) is named with the reason and the fix,
// rather than leaving only "Please connect to scanner".
void ScannerPresence::ReportUnusableScanner()
{
    for (const UnusableDevice& device : platform.UnusableDevices()) {
        if (CaptureEngine::PathNamesScanner(device.name)) {
            notice.Show([reason = device.reason] { return ReasonText(reason); }, NoticeLine::Stays);
            return;
        }
    }
}

// A scanner that runs, but not fully (the video driver has it because the program may not reach its USB
// device), is named once per run with what is lost and how to get it back.
void ScannerPresence::ReportLimitedScanner()
{
    if (limitedScannerReported)
        return;
    for (const UnusableDevice& device : platform.UnusableDevices()) {
        if (CaptureEngine::PathsEqualIgnoringCase(device.name, engine.ScannerPath())) {
            notice.Show([reason = device.reason] { return ReasonText(reason); }, NoticeLine::Stays);
            limitedScannerReported = true;
            return;
        }
    }
}

} // namespace vistrel
