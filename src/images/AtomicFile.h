#pragma once
#include "capture/contract/Reason.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace vistrel {

#ifdef _WIN32
using NativeFile = void*;   // a HANDLE; no file is nullptr
inline constexpr NativeFile kNoFile = nullptr;
#else
using NativeFile = int;   // a file descriptor
inline constexpr NativeFile kNoFile = -1;
#endif

// Where an encoder writes: an open file, with the system's own error when a call fails
// (ENOSPC, not a generic failure).
class FileSink
{
public:
    virtual ~FileSink() = default;
    bool Write(const void* data, std::size_t size);
    bool Seek(std::uint64_t offset);
    std::uint64_t Position() const { return position; }
    std::uint64_t Size() const { return size; }
    // Why the last failed call failed: an errno, 0 when none failed.
    int Error() const { return error; }

protected:
    bool Fail(int error);
    NativeFile fd = kNoFile;
    std::uint64_t position = 0, size = 0;
    int error = 0;
};

// A file written under a hidden temporary name beside its final one and moved there only once it
// is complete, never over another file. It gets the mode of any newly created file (0666 less the
// umask; on Windows the folder's inherited permissions). Dropped without Claim(), the temporary file
// is removed. The temporary is held (locked, or open without sharing on Windows) while it is written,
// so that a clean-up in another save or process leaves it alone.
class AtomicFile : public FileSink
{
public:
    explicit AtomicFile(QString wantedPath);
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool Open();
    // Waits until the file's data is on the disk.
    bool SyncData();
    // Moves the file to the wanted name or, when that is taken, to its first free alternative.
    // The name is durable only once the folder is synced (SyncFolder). Fails with Error(), or with
    // Error() 0 when every name is taken.
    bool Claim(QString* claimed);

private:
    QString wanted, temporary;
    bool claimed = false;
};

// Removes the temporaries an interrupted save left in folder: only names of the exact shape
// AtomicFile gives them (".<save file name>.<random>") and only those no running save holds. Returns
// how many were removed.
int RemoveStaleTemporaries(const QString& folder);
// Removes one such temporary unless a running save holds it; true when it is gone.
bool RemoveUnheldTemporary(const QString& path);

// Makes the names created in the folder durable. Returns false with the reason.
bool SyncFolder(const QString& folder, Reason* reason);

// The folder itself when it exists, else its nearest existing ancestor: where a folder about to be
// created will be linked in.
QString ExistingFolderAbove(const QString& folder);
// Syncs folder and each folder above it up to and including upTo (from ExistingFolderAbove taken
// before the folder was made), so that folders made since are durable too.
bool SyncFolders(const QString& folder, const QString& upTo, Reason* reason);

} // namespace vistrel
