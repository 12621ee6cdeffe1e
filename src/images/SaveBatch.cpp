#include "images/SaveBatch.h"

#include "images/AtomicFile.h"
#include "images/OutputSize.h"
#include "images/SaveFileName.h"
#include "images/SaveImageFile.h"

#include <QFileInfo>

#include <algorithm>

namespace vistrel {

SaveEntry SaveEntryFrom(const CapturedImage& image)
{
    SaveEntry entry;
    entry.id = image.id;
    entry.frameData = image.frameData;
    entry.frameWidth = image.frameWidth;
    entry.frameHeight = image.frameHeight;
    entry.filmSize = image.filmSize;
    entry.resolution = image.resolution;
    entry.mirrored = image.mirrored;
    entry.rotation = image.rotation;
    entry.captureTime = image.captureTime;
    return entry;
}

SaveBatch::SaveBatch(std::vector<SaveEntry> entries, QString saveFolder, std::int32_t format, CaptureTime saveTime)
    : entries(std::move(entries)), saveFolder(std::move(saveFolder)), format(format), saveTime(saveTime)
{
    if (!this->saveFolder.isEmpty()) {
        existingAbove = ExistingFolderAbove(this->saveFolder);
    }
    results.resize(this->entries.size());
    for (std::size_t i = 0; i < results.size(); ++i) {
        results[i].id = this->entries[i].id;
        results[i].position = static_cast<int>(i) + 1;
    }
}

SaveBatch::~SaveBatch()
{
    Cancel();
    for (std::thread& worker : workers) {
        if (worker.joinable()) {
            worker.join();
        }
    }
}

void SaveBatch::Start(Callbacks callbacks, int workerCount)
{
    this->callbacks = std::move(callbacks);
    const int total = Total();
    if (total == 0) {
        Finish();
        return;
    }
    if (workerCount <= 0) {
        workerCount = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    }
    workerCount = std::min(workerCount, total);
    {
        std::lock_guard lock(mutex);
        running = workerCount;
    }
    for (int i = 0; i < workerCount; ++i) {
        workers.emplace_back(&SaveBatch::Work, this);
    }
}

void SaveBatch::Cancel()
{
    cancelled = true;
}

void SaveBatch::Wait()
{
    std::unique_lock lock(mutex);
    finishedCondition.wait(lock, [this] { return finished; });
}

bool SaveBatch::IsFinished() const
{
    std::lock_guard lock(mutex);
    return finished;
}

int SaveBatch::Total() const
{
    return static_cast<int>(entries.size());
}

std::vector<SaveEntryResult> SaveBatch::Results() const
{
    std::lock_guard lock(mutex);
    return results;
}

void SaveBatch::Work()
{
    std::call_once(cleanedUp, [this] {
        if (!saveFolder.isEmpty())
            RemoveStaleTemporaries(saveFolder);
    });
    const int total = Total();
    SaveScratch scratch;   // this worker's bitmaps, reused from entry to entry
    for (int i = next++; i < total; i = next++) {
        const SaveEntry& entry = entries[static_cast<std::size_t>(i)];
        SaveEntryResult outcome;
        outcome.id = entry.id;
        outcome.position = i + 1;
        if (cancelled) {
            outcome.result = kSaveCancelled;
            outcome.reason = Reason(ReasonCode::SaveCancelled);
        } else if (saveFolder.isEmpty()) {
            outcome.result = E_INVALIDARG;
            outcome.reason = Reason(ReasonCode::NoSaveFolder);
        } else if (!entry.frameData || entry.frameData->empty()) {
            outcome.result = E_POINTER;
            outcome.reason = Reason(ReasonCode::EntryHoldsNoImage);
        } else {
            const OutputSize size = OutputSizeFor(entry.filmSize, entry.resolution);
            const SaveMetadata metadata{entry.captureTime, DotsPerInchFor(entry.filmSize, size)};
            SaveFileResult written;
            outcome.result = SaveImageFile(entry.frameData->data(), static_cast<std::int32_t>(entry.frameData->size()),
                                           entry.frameWidth, entry.frameHeight,
                                           SaveFileName(saveFolder, saveTime, i + 1, format), size.width,
                                           size.height, entry.mirrored, entry.rotation, format, metadata, &written, &scratch,
                                           FolderSync::ByCaller);
            outcome.path = written.path;
            outcome.reason = written.reason;
            outcome.failure = written.failure;
            outcome.systemError = written.systemError;
            outcome.folder = written.folder;
        }
        std::lock_guard lock(mutex);
        results[static_cast<std::size_t>(i)] = outcome;
        ++done;
        if (Succeeded(outcome.result)) {
            ++written;
        }
        if (callbacks.onEntry) {
            callbacks.onEntry(outcome);
        }
        if (callbacks.onProgress) {
            callbacks.onProgress(written, total);
        }
    }
    bool last = false;
    {
        std::lock_guard lock(mutex);
        last = --running == 0;
    }
    if (last) {
        MakeWrittenDurable();
        Finish();
    }
}

void SaveBatch::MakeWrittenDurable()
{
    std::lock_guard lock(mutex);
    const auto written = [](const SaveEntryResult& r) { return Succeeded(r.result) && !r.path.isEmpty(); };
    const auto first = std::find_if(results.begin(), results.end(), written);
    if (first == results.end()) {
        return;
    }
    Reason reason;
    if (SyncFolders(QFileInfo(first->path).absolutePath(), existingAbove, &reason)) {
        return;
    }
    for (SaveEntryResult& r : results) {
        if (written(r)) {
            r.result = E_FAIL;
            r.reason = reason;
        }
    }
}

void SaveBatch::Finish()
{
    std::lock_guard lock(mutex);
    finished = true;
    if (callbacks.onFinished) {
        callbacks.onFinished(results);
    }
    finishedCondition.notify_all();
}

} // namespace vistrel
