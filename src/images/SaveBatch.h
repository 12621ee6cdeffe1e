#pragma once
#include "capture/contract/Reason.h"
#include "capture/contract/Result.h"
#include "images/CapturedImage.h"
#include "images/SaveImageFile.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace vistrel {

// The result of an entry that was not begun because the save was cancelled (E_ABORT).
constexpr HRESULT kSaveCancelled = MakeResult(0x80004004u);

// What a save needs of one entry, copied on the window thread.
struct SaveEntry
{
    std::uint64_t id = 0;
    FrameBytes frameData;
    std::int32_t frameWidth = 0, frameHeight = 0, filmSize = 0, resolution = 0, mirrored = 0, rotation = 0;
    CaptureTime captureTime;
};
SaveEntry SaveEntryFrom(const CapturedImage& image);

struct SaveEntryResult
{
    std::uint64_t id = 0;
    int position = 0;          // 1-based position in the save (the strip order)
    HRESULT result = S_OK;
    QString path;              // the file written
    Reason reason;             // why not, when result is a failure (or the save was cancelled)
    SaveFailure failure = SaveFailure::Other;   // with the two below, for the user's words
    std::error_code systemError;
    QString folder;
};

// Writes a snapshot of the strip on worker threads. Callbacks come from worker threads, one at a
// time: onEntry after each entry, onProgress with the number of files written so far, onFinished once
// at the end with every result in strip order (for an empty snapshot, at once on the caller's thread).
// Each file's data reaches the disk in its worker while the others encode; the folder is synced
// once at the end, so a file is durable when onFinished reports it written (a failed folder sync
// turns the written entries into failures). Each worker holds at most one decoded still and a band
// of output rows. Never Wait() from a callback. The destructor cancels and waits.
class SaveBatch
{
public:
    struct Callbacks
    {
        std::function<void(const SaveEntryResult&)> onEntry;
        std::function<void(int written, int total)> onProgress;
        std::function<void(const std::vector<SaveEntryResult>&)> onFinished;
    };

    SaveBatch(std::vector<SaveEntry> entries, QString saveFolder, std::int32_t format, CaptureTime saveTime);
    ~SaveBatch();
    SaveBatch(const SaveBatch&) = delete;
    SaveBatch& operator=(const SaveBatch&) = delete;

    void Start(Callbacks callbacks, int workers = 0);   // returns at once; 0 workers = one per core
    void Cancel();                                       // entries not begun are reported cancelled
    void Wait();
    bool IsFinished() const;
    int Total() const;
    std::vector<SaveEntryResult> Results() const;        // complete once finished

private:
    void Work();
    void MakeWrittenDurable();
    void Finish();

    std::vector<SaveEntry> entries;
    QString saveFolder;
    QString existingAbove;                  // the save folder, or where it will be made
    std::int32_t format;
    CaptureTime saveTime;
    Callbacks callbacks;
    std::vector<SaveEntryResult> results;
    std::vector<std::thread> workers;
    std::atomic<int> next{0};
    std::atomic<bool> cancelled{false};
    std::once_flag cleanedUp;               // a crashed save's temporaries go before this one writes
    mutable std::mutex mutex;               // results, counters and callbacks
    std::condition_variable finishedCondition;
    int done = 0, written = 0, running = 0;
    bool finished = false;
};

} // namespace vistrel
