#pragma once

#include "images/CaptureTime.h"
#include "images/SaveBatch.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QProgressDialog;
class QWidget;

namespace vistrel {

class StripView;

// The Save command: writes a snapshot of the strip on worker threads while a progress dialog
// counts the files, then, on the window thread, removes the entries whose files were written and
// tells the user about the ones that were not.
class SaveController : public QObject
{
    Q_OBJECT

public:
    // Shows a failed save to the user: a short text, and one line per file not written for the
    // box's details (a message box unless replaced).
    using FailureReporter = std::function<void(const QString& text, const QString& details)>;

    SaveController(QWidget* window, StripView& strip);
    ~SaveController() override;

    // Returns at once; the work goes on until SavingChanged(false). Ignored while a save runs.
    void Save(const QString& saveFolder, std::int32_t outputFormat);
    bool IsSaving() const;
    // Puts the progress text showing into the language of the moment.
    void Relabel();

    void SetFailureReporter(FailureReporter reporter);
    // Worker threads of a save; 0 = one per core.
    void SetWorkerCount(int count);
    // Where a save reads the local time (once per save) that names its files.
    void SetClock(std::function<CaptureTime()> clock);

signals:
    void SavingChanged(bool saving);

private:
    void ShowProgress(int written, int total);
    void Finish(std::vector<SaveEntryResult> results);
    QString FailureLine(const SaveEntryResult& result) const;

    QWidget* window;
    StripView& strip;
    FailureReporter reporter;
    std::function<CaptureTime()> clock = LocalTimeNow;
    int workerCount = 0;
    std::unique_ptr<SaveBatch> batch;
    QPointer<QProgressDialog> progress;
    QString folder;
    std::int32_t format = 0;
    CaptureTime saveTime;
    int shownWritten = 0, shownTotal = 0;
};

} // namespace vistrel
