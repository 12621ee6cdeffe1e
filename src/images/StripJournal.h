#pragma once
#include "images/CapturedImage.h"

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QLockFile;

namespace vistrel {

// What a start finds of the strip a previous run left behind.
struct JournalRestore
{
    std::vector<CapturedImage> entries;   // in strip order, with fresh ids the journal now follows
    int unreadable = 0;                   // entries skipped because their file was damaged
};

// The strip kept on disk as it changes, so that a kill, a crash or a power cut loses no scan.
// Each entry is one file holding the still's bytes and its settings, plus a small file for its
// orientation; every file is written under a temporary name, synced and renamed into place.
//
// The journal lives in a slot folder below the state folder, held by a lock file for the life of
// the journal: a second instance takes another slot and never reads what the first one owns. A slot
// whose owner has ended (its lock is stale) is free again, and its entries are what Restore returns.
//
// Calls come from one thread (the window's); the writes happen in order on a worker of the journal's
// own, so no call waits for the disk.
class StripJournal
{
public:
    static constexpr int kMaxSlots = 16;

    // Takes the first free slot below stateFolder (made with mode 0700 when missing). Null with the
    // reason when no slot can be had.
    static std::unique_ptr<StripJournal> Open(const QString& stateFolder, QString* reason);
    ~StripJournal();   // finishes the queued writes and frees the slot
    StripJournal(const StripJournal&) = delete;
    StripJournal& operator=(const StripJournal&) = delete;

    // The entries the slot's previous owner left, oldest first; damaged ones are counted and removed.
    JournalRestore Restore();

    void Add(const CapturedImage& entry);
    void SetOrientation(std::uint64_t id, std::int32_t mirrored, std::int32_t rotation);
    void Remove(std::uint64_t id);
    void Clear();
    // Waits until every queued write is on the disk.
    void Flush();

    bool Holds(std::uint64_t id) const;
    std::vector<std::uint64_t> Ids() const;    // in strip order
    const QString& Folder() const { return folder; }

private:
    struct Held
    {
        std::uint64_t sequence = 0;
        std::int32_t mirrored = 0, rotation = 0;
    };

    StripJournal(QString folder, std::unique_ptr<QLockFile> lock);
    void Post(std::function<void()> job);
    void Work();
    QString PathOf(std::uint64_t sequence, const char* suffix) const;

    QString folder;
    std::unique_ptr<QLockFile> lock;
    std::map<std::uint64_t, Held> held;          // by entry id; window thread only
    std::uint64_t nextSequence = 1;

    std::mutex mutex;
    std::condition_variable wake, idle;
    std::deque<std::function<void()>> jobs;
    bool busy = false, stopping = false;
    std::thread worker;
};

} // namespace vistrel
