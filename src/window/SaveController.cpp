#include "window/SaveController.h"

#include "app/Diagnostics.h"
#include "app/Localization.h"
#include "images/ImageStrip.h"
#include "images/SaveFileName.h"
#include "window/ReasonText.h"
#include "window/StripView.h"

#include <QDir>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressDialog>
#include <QStringList>
#include <QWidget>

#include <system_error>
#include <utility>

namespace vistrel {

namespace {

// Quick saves finish before the dialog would flash up.
constexpr int kProgressDelayMs = 400;

QString ProgressText(int written, int total)
{
    return LocalizedText(IdsSaveProgress, {QString::number(written), QString::number(total)});
}

// The system's reasons a user can act on, in the user's words; any other is given by its number.
struct SystemReason
{
    std::errc condition;
    StringId text;
};
constexpr SystemReason kSystemReasons[] = {
    {std::errc::permission_denied, IdsReasonNoPermission},
    {std::errc::operation_not_permitted, IdsReasonNoPermission},
    {std::errc::file_exists, IdsReasonNameInTheWay},
    {std::errc::not_a_directory, IdsReasonNameInTheWay},
    {std::errc::no_space_on_device, IdsReasonDiskFull},
    {std::errc::read_only_file_system, IdsReasonReadOnlyDisk},
    {std::errc::filename_too_long, IdsReasonNameTooLong},
};

QString SystemReasonText(const std::error_code& error)
{
    for (const SystemReason& reason : kSystemReasons) {
        if (error == reason.condition)
            return LoadLocalizedText(reason.text);
    }
    return LoadLocalizedText(IdsReasonSystemError).arg(error.value());
}

} // namespace

SaveController::SaveController(QWidget* window, StripView& strip)
    : QObject(window), window(window), strip(strip)
{
    reporter = [this](const QString& text, const QString& details) {
        QMessageBox box(QMessageBox::Warning, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
                        this->window);
        box.setDetailedText(details);
        box.exec();
    };
}

SaveController::~SaveController()
{
    // Cancels what has not begun and waits for the workers; their queued reports die with us.
    batch.reset();
    delete progress.data();
}

void SaveController::Save(const QString& saveFolder, std::int32_t outputFormat)
{
    strip.FocusFirstThumbnail();
    if (batch) {
        return;
    }
    ImageStrip& entries = strip.Strip();
    if (entries.Count() == 0) {
        // Nothing to write: no folder is made, the buttons and the status are reset all the same.
        strip.ClearStrip();
        return;
    }

    folder = saveFolder;
    format = outputFormat;
    saveTime = clock();
    std::vector<SaveEntry> snapshot;
    snapshot.reserve(static_cast<std::size_t>(entries.Count()));
    for (int i = 0; i < entries.Count(); ++i) {
        snapshot.push_back(SaveEntryFrom(entries.At(i)));
    }
    const int total = static_cast<int>(snapshot.size());
    batch = std::make_unique<SaveBatch>(std::move(snapshot), folder, format, saveTime);

    strip.SetLocked(true);
    emit SavingChanged(true);

    shownWritten = 0;
    shownTotal = total;
    progress = new QProgressDialog(ProgressText(0, total), QString(), 0, total, window);
    progress->setWindowModality(Qt::WindowModal);
    progress->setCancelButton(nullptr);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(kProgressDelayMs);
    progress->setValue(0);

    // The callbacks come from worker threads; everything they report is handled on ours.
    SaveBatch::Callbacks callbacks;
    callbacks.onProgress = [this](int written, int count) {
        QMetaObject::invokeMethod(this, [this, written, count] { ShowProgress(written, count); },
                                  Qt::QueuedConnection);
    };
    callbacks.onFinished = [this](const std::vector<SaveEntryResult>& results) {
        QMetaObject::invokeMethod(this, [this, results] { Finish(results); }, Qt::QueuedConnection);
    };
    batch->Start(std::move(callbacks), workerCount);
}

bool SaveController::IsSaving() const
{
    return batch != nullptr;
}

void SaveController::SetFailureReporter(FailureReporter replacement)
{
    reporter = std::move(replacement);
}

void SaveController::SetWorkerCount(int count)
{
    workerCount = count;
}

void SaveController::SetClock(std::function<CaptureTime()> replacement)
{
    clock = std::move(replacement);
}

void SaveController::Relabel()
{
    if (progress && batch)
        progress->setLabelText(ProgressText(shownWritten, shownTotal));
}

void SaveController::ShowProgress(int written, int total)
{
    shownWritten = written;
    shownTotal = total;
    if (progress) {
        progress->setLabelText(ProgressText(written, total));
        progress->setValue(written);
    }
}

void SaveController::Finish(std::vector<SaveEntryResult> results)
{
    batch.reset(); // the workers are done; this joins them
    if (progress) {
        progress->reset();
        progress->deleteLater();
    }

    std::vector<std::uint64_t> written;
    QStringList failures;
    for (const SaveEntryResult& result : results) {
        if (Succeeded(result.result)) {
            written.push_back(result.id);
        } else {
            const QString name =
                result.path.isEmpty() ? SaveFileName(folder, saveTime, result.position, format) : result.path;
            failures << FailureLine(result);
            if (result.result != kSaveCancelled)
                qCWarning(lcSave).noquote() << "cannot write" << name << ReasonLogText(result.reason).c_str();
        }
    }
    // Entries that arrived meanwhile are not in the results and stay; so do the failed ones.
    strip.SetLocked(false);
    strip.RemoveEntries(written);
    // Told before the window hears the save is over: a close waiting for it then asks about the
    // entries that are left.
    // The list goes to the details: with long paths it would make the box taller than the screen.
    if (!failures.isEmpty() && reporter) {
        QStringList text{LoadLocalizedText(IdsSaveFailed),
                         LoadLocalizedText(IdsSomeImagesNotSaved).arg(failures.size()).arg(results.size())};
        text.removeAll(QString());
        reporter(text.join(QStringLiteral("\n\n")), failures.join(QLatin1Char('\n')));
    }
    emit SavingChanged(false);
}

QString SaveController::FailureLine(const SaveEntryResult& result) const
{
    const QString name =
        result.path.isEmpty() ? SaveFileName(folder, saveTime, result.position, format) : result.path;
    if (result.failure == SaveFailure::FolderNotCreated) {
        return name + QStringLiteral(": ")
            + LoadLocalizedText(IdsFolderNotCreated)
                  .arg(QDir::toNativeSeparators(result.folder), SystemReasonText(result.systemError));
    }
    return LocalizedText(IdsFailureLine, {name, ReasonText(result.reason)});
}

} // namespace vistrel
