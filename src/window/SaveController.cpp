#include "window/SaveController.h"

#include "app/Diagnostics.h"
#include "app/Localization.h"
#include "images/ImageStrip.h"
#include "images/SaveFileName.h"
#include "window/StripView.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressDialog>
#include <QStringList>
#include <QWidget>

#include <utility>

namespace vistrel {

namespace {

// Quick saves finish before the dialog would flash up.
constexpr int kProgressDelayMs = 400;

QString ProgressText(int written, int total)
{
    return QStringLiteral("%1 of %2 files written").arg(written).arg(total);
}

} // namespace

SaveController::SaveController(QWidget* window, StripView& strip)
    : QObject(window), window(window), strip(strip)
{
    reporter = [this](const QString& text) {
        QMessageBox::warning(this->window, QGuiApplication::applicationDisplayName(), text);
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

void SaveController::ShowProgress(int written, int total)
{
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
            failures << FailureLine(result);
            if (result.result != kSaveCancelled)
                qCWarning(lcSave).noquote() << "cannot write" << FailureLine(result);
        }
    }
    // Entries that arrived meanwhile are not in the results and stay; so do the failed ones.
    strip.SetLocked(false);
    strip.RemoveEntries(written);
    // Told before the window hears the save is over: a close waiting for it then asks about the
    // entries that are left.
    if (!failures.isEmpty() && reporter) {
        reporter(LoadLocalizedText(IdsSaveFailed) + QStringLiteral("\n\n") + failures.join(QLatin1Char('\n')));
    }
    emit SavingChanged(false);
}

QString SaveController::FailureLine(const SaveEntryResult& result) const
{
    const QString name =
        result.path.isEmpty() ? SaveFileName(folder, saveTime, result.position, format) : result.path;
    return result.reason.isEmpty() ? name : name + QStringLiteral(": ") + result.reason;
}

} // namespace vistrel
