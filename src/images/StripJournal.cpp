#include "images/StripJournal.h"

#include "images/AtomicFile.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#ifdef _WIN32
#include <io.h>
// The C runtime's names for the same calls.
#define O_CLOEXEC _O_NOINHERIT
#define fsync _commit
#endif
#ifndef O_BINARY
#define O_BINARY 0   // only Windows' C runtime has a text mode, which would turn every \n into \r\n
#endif

namespace vistrel {

namespace {

constexpr quint32 kStillMagic = 0x56534A31;   // "VSJ1"
constexpr quint32 kTurnMagic = 0x56534A54;    // "VSJT"
constexpr quint32 kFormatVersion = 1;
constexpr const char* kStillSuffix = ".still";
constexpr const char* kTurnSuffix = ".turn";
constexpr const char* kPartSuffix = ".part";
constexpr mode_t kFolderMode = 0700;
constexpr mode_t kFileMode = 0600;
// Larger than any still the program accepts; a bigger file is not one of ours.
constexpr qint64 kMaxEntryFileBytes = qint64(512) << 20;
constexpr int kHashBytes = 32;
constexpr int kMaxRotation = 3;

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

bool MakePrivateFolder(const QString& path, QString* reason)
{
    if (!QDir().mkpath(path)) {
        *reason = QStringLiteral("cannot make %1").arg(path);
        return false;
    }
    if (::chmod(Native(path).constData(), kFolderMode) != 0) {
        *reason = qt_error_string(errno);
        return false;
    }
    return true;
}

QByteArray Sealed(QByteArray body)
{
    body += QCryptographicHash::hash(body, QCryptographicHash::Sha256);
    return body;
}

// The body of a sealed file, or empty when the seal does not match.
QByteArray Unsealed(const QByteArray& file)
{
    if (file.size() <= kHashBytes)
        return {};
    const QByteArray body = file.left(file.size() - kHashBytes);
    return QCryptographicHash::hash(body, QCryptographicHash::Sha256) == file.right(kHashBytes) ? body : QByteArray();
}

// Writes the file whole under a temporary name, syncs it, renames it over path and syncs the folder.
bool WriteDurably(const QString& path, const QByteArray& data)
{
    const QByteArray part = Native(path + QLatin1String(kPartSuffix));
    const int fd = ::open(part.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_BINARY, kFileMode);
    if (fd < 0)
        return false;
    const char* at = data.constData();
    qint64 left = data.size();
    bool ok = true;
    while (ok && left > 0) {
        const ssize_t n = ::write(fd, at, static_cast<std::size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        at += n;
        left -= n;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    std::error_code renamed;   // replaces the file before it, as ::rename does on every system
    if (ok)
        std::filesystem::rename(part.toStdString(), Native(path).toStdString(), renamed);
    ok = ok && !renamed;
    if (!ok) {
        ::unlink(part.constData());
        return false;
    }
    Reason reason;
    return SyncFolder(QFileInfo(path).absolutePath(), &reason);
}

QByteArray ReadBounded(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxEntryFileBytes)
        return {};
    return file.readAll();
}

QByteArray EncodeStill(const CapturedImage& entry)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    const CaptureTime& t = entry.captureTime;
    out << kStillMagic << kFormatVersion << t.year << t.month << t.dayOfWeek << t.day << t.hour << t.minute
        << t.second << t.millisecond << entry.filmType << entry.filmSize << entry.resolution << entry.frameWidth
        << entry.frameHeight;
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(entry.frameData->data()),
                                                     static_cast<qsizetype>(entry.frameData->size()));
    out << bytes;
    return Sealed(body);
}

bool DecodeStill(const QByteArray& file, CapturedImage* entry)
{
    const QByteArray body = Unsealed(file);
    if (body.isEmpty())
        return false;
    QDataStream in(body);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0, version = 0;
    CaptureTime& t = entry->captureTime;
    QByteArray bytes;
    in >> magic >> version >> t.year >> t.month >> t.dayOfWeek >> t.day >> t.hour >> t.minute >> t.second
        >> t.millisecond >> entry->filmType >> entry->filmSize >> entry->resolution >> entry->frameWidth
        >> entry->frameHeight >> bytes;
    if (in.status() != QDataStream::Ok || magic != kStillMagic || version != kFormatVersion || bytes.isEmpty())
        return false;
    // The seal vouches for the bytes: they are what the strip held, whether they decode or not.
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    entry->frameData = std::make_shared<const std::vector<std::uint8_t>>(data, data + bytes.size());
    entry->frameSize = static_cast<std::int32_t>(bytes.size());
    return true;
}

QByteArray EncodeTurn(std::int32_t mirrored, std::int32_t rotation)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out << kTurnMagic << kFormatVersion << mirrored << rotation;
    return Sealed(body);
}

// An orientation file that cannot be read leaves the still as captured.
void DecodeTurn(const QByteArray& file, CapturedImage* entry)
{
    QDataStream in(Unsealed(file));
    quint32 magic = 0, version = 0;
    std::int32_t mirrored = 0, rotation = 0;
    in >> magic >> version >> mirrored >> rotation;
    if (in.status() == QDataStream::Ok && magic == kTurnMagic && version == kFormatVersion && (mirrored == 0 || mirrored == 1)
        && rotation >= 0 && rotation <= kMaxRotation) {
        entry->mirrored = mirrored;
        entry->rotation = rotation;
    }
}

} // namespace

std::unique_ptr<StripJournal> StripJournal::Open(const QString& stateFolder, QString* reason)
{
    if (!MakePrivateFolder(stateFolder, reason))
        return nullptr;
    const QDir state(stateFolder);
    for (int slot = 0; slot < kMaxSlots; ++slot) {
        const QString name = QStringLiteral("strip-%1").arg(slot);
        auto lock = std::make_unique<QLockFile>(state.filePath(name + QStringLiteral(".lock")));
        // A lock whose process has ended is stale whatever its age: that run's entries are ours now.
        lock->setStaleLockTime(0);
        if (!lock->tryLock(0))
            continue;
        ::chmod(Native(state.filePath(name + QStringLiteral(".lock"))).constData(), kFileMode);
        const QString folder = state.filePath(name);
        if (!MakePrivateFolder(folder, reason))
            return nullptr;
        return std::unique_ptr<StripJournal>(new StripJournal(folder, std::move(lock)));
    }
    *reason = QStringLiteral("every journal slot in %1 is in use").arg(stateFolder);
    return nullptr;
}

StripJournal::StripJournal(QString folderIn, std::unique_ptr<QLockFile> lockIn)
    : folder(std::move(folderIn)), lock(std::move(lockIn))
{
    worker = std::thread(&StripJournal::Work, this);
}

StripJournal::~StripJournal()
{
    {
        std::lock_guard guard(mutex);
        stopping = true;
    }
    wake.notify_all();
    worker.join();
}

JournalRestore StripJournal::Restore()
{
    Flush();
    JournalRestore found;
    QDir dir(folder);
    for (const QString& part : dir.entryList({QStringLiteral("*") + QLatin1String(kPartSuffix)}, QDir::Files | QDir::Hidden))
        dir.remove(part);
    // Names are zero-padded hex sequence numbers, so name order is capture order.
    const QStringList stills = dir.entryList({QStringLiteral("*") + QLatin1String(kStillSuffix)}, QDir::Files, QDir::Name);
    for (const QString& name : stills) {
        bool numbered = false;
        const std::uint64_t sequence = name.section(u'.', 0, 0).toULongLong(&numbered, 16);
        CapturedImage entry;
        if (!numbered || !DecodeStill(ReadBounded(dir.filePath(name)), &entry)) {
            ++found.unreadable;
            dir.remove(name);
            if (numbered)
                dir.remove(QFileInfo(PathOf(sequence, kTurnSuffix)).fileName());
            continue;
        }
        DecodeTurn(ReadBounded(PathOf(sequence, kTurnSuffix)), &entry);
        entry.id = NextImageId();
        held[entry.id] = Held {sequence, entry.mirrored, entry.rotation};
        nextSequence = std::max(nextSequence, sequence + 1);
        found.entries.push_back(std::move(entry));
    }
    // Orientation files whose still is gone belong to nothing.
    for (const QString& name : dir.entryList({QStringLiteral("*") + QLatin1String(kTurnSuffix)}, QDir::Files)) {
        if (!dir.exists(name.section(u'.', 0, 0) + QLatin1String(kStillSuffix)))
            dir.remove(name);
    }
    return found;
}

void StripJournal::Add(const CapturedImage& entry)
{
    if (!entry.frameData || entry.frameData->empty() || held.count(entry.id))
        return;
    const std::uint64_t sequence = nextSequence++;
    held[entry.id] = Held {sequence, entry.mirrored, entry.rotation};
    CapturedImage copy = entry;   // the bytes are shared, never copied
    copy.thumbnail = QImage();
    copy.preview = QImage();
    const QString still = PathOf(sequence, kStillSuffix);
    const QString turn = PathOf(sequence, kTurnSuffix);
    Post([copy = std::move(copy), still, turn] {
        // The orientation goes first: a still is never found without the turn it had.
        if (copy.mirrored != 0 || copy.rotation != 0)
            WriteDurably(turn, EncodeTurn(copy.mirrored, copy.rotation));
        WriteDurably(still, EncodeStill(copy));
    });
}

void StripJournal::SetOrientation(std::uint64_t id, std::int32_t mirrored, std::int32_t rotation)
{
    const auto it = held.find(id);
    if (it == held.end() || (it->second.mirrored == mirrored && it->second.rotation == rotation))
        return;
    it->second.mirrored = mirrored;
    it->second.rotation = rotation;
    const QString turn = PathOf(it->second.sequence, kTurnSuffix);
    Post([turn, mirrored, rotation] { WriteDurably(turn, EncodeTurn(mirrored, rotation)); });
}

void StripJournal::Remove(std::uint64_t id)
{
    const auto it = held.find(id);
    if (it == held.end())
        return;
    const QString still = PathOf(it->second.sequence, kStillSuffix);
    const QString turn = PathOf(it->second.sequence, kTurnSuffix);
    held.erase(it);
    Post([still, turn, folder = folder] {
        // The still goes first: a turn without its still is ignored and cleaned up at the next start.
        ::unlink(Native(still).constData());
        ::unlink(Native(turn).constData());
        Reason reason;
        SyncFolder(folder, &reason);
    });
}

void StripJournal::Clear()
{
    std::vector<std::uint64_t> ids;
    for (const auto& [id, entry] : held)
        ids.push_back(id);
    for (std::uint64_t id : ids)
        Remove(id);
}

void StripJournal::Flush()
{
    std::unique_lock guard(mutex);
    idle.wait(guard, [this] { return jobs.empty() && !busy; });
}

bool StripJournal::Holds(std::uint64_t id) const
{
    return held.count(id) != 0;
}

std::vector<std::uint64_t> StripJournal::Ids() const
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> bySequence;
    for (const auto& [id, entry] : held)
        bySequence.emplace_back(entry.sequence, id);
    std::sort(bySequence.begin(), bySequence.end());
    std::vector<std::uint64_t> ids;
    for (const auto& [sequence, id] : bySequence)
        ids.push_back(id);
    return ids;
}

void StripJournal::Post(std::function<void()> job)
{
    {
        std::lock_guard guard(mutex);
        jobs.push_back(std::move(job));
    }
    wake.notify_one();
}

void StripJournal::Work()
{
    std::unique_lock guard(mutex);
    for (;;) {
        wake.wait(guard, [this] { return stopping || !jobs.empty(); });
        if (jobs.empty()) {
            return;   // stopping, and everything queued is written
        }
        std::function<void()> job = std::move(jobs.front());
        jobs.pop_front();
        busy = true;
        guard.unlock();
        job();
        guard.lock();
        busy = false;
        if (jobs.empty())
            idle.notify_all();
    }
}

QString StripJournal::PathOf(std::uint64_t sequence, const char* suffix) const
{
    return QDir(folder).filePath(QStringLiteral("%1").arg(sequence, 16, 16, QLatin1Char('0')) + QLatin1String(suffix));
}

} // namespace vistrel
