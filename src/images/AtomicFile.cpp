#include "images/AtomicFile.h"

#include "images/SaveFileName.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel {

namespace {

constexpr int kMaxAlternatives = 9999;
constexpr int kTemporaryNameTries = 100;
// What open() gives a new file before the umask (or the folder's default ACL) is applied.
constexpr mode_t kNewFileMode = 0666;

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

// Moves from to to, failing with EEXIST when to exists. Where the file system has no
// no-replace rename, a hard link does the same; a file system with neither is checked first.
int RenameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP) {
        return errno;
    }
    struct stat existing{};
    if (::lstat(to.constData(), &existing) == 0) {
        return EEXIST;
    }
    return ::rename(from.constData(), to.constData()) == 0 ? 0 : errno;
}

} // namespace

bool FileSink::Fail(int code)
{
    error = code;
    return false;
}

bool FileSink::Write(const void* data, std::size_t count)
{
    const auto* bytes = static_cast<const char*>(data);
    while (count > 0) {
        const ssize_t n = ::write(fd, bytes, count);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Fail(errno);
        }
        if (n == 0) {
            return Fail(ENOSPC);   // a write that makes no progress has run out of room
        }
        bytes += n;
        count -= static_cast<std::size_t>(n);
        position += static_cast<std::uint64_t>(n);
        size = std::max(size, position);
    }
    return true;
}

bool FileSink::Seek(std::uint64_t offset)
{
    if (::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        return Fail(errno);
    }
    position = offset;
    return true;
}

AtomicFile::AtomicFile(QString wantedPath) : wanted(std::move(wantedPath))
{
}

AtomicFile::~AtomicFile()
{
    if (fd >= 0) {
        ::close(fd);
    }
    if (!claimed && !temporary.isEmpty()) {
        ::unlink(Native(temporary).constData());
    }
}

bool AtomicFile::Open()
{
    const QFileInfo target(wanted);
    const QString stem = target.absolutePath() + QStringLiteral("/.") + target.fileName() + QLatin1Char('.');
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        const QString candidate = stem + QString::number(QRandomGenerator::global()->generate(), 36);
        fd = ::open(Native(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
        if (fd >= 0) {
            ::flock(fd, LOCK_EX | LOCK_NB);   // new and unique: nobody else can hold it yet
            temporary = candidate;
            return true;
        }
        if (errno != EEXIST) {
            return Fail(errno);
        }
    }
    return Fail(EEXIST);
}

bool AtomicFile::SyncData()
{
    return ::fdatasync(fd) == 0 || Fail(errno);
}

bool AtomicFile::Claim(QString* claimedPath)
{
    if (::close(fd) != 0) {   // some file systems report a failed write only here
        fd = -1;
        return Fail(errno);
    }
    fd = -1;
    const QByteArray from = Native(temporary);
    for (int n = 1; n <= kMaxAlternatives; ++n) {
        const QString candidate = n == 1 ? wanted : AlternativeFileName(wanted, n);
        const int code = RenameNoReplace(from, Native(candidate));
        if (code == 0) {
            claimed = true;
            *claimedPath = candidate;
            return true;
        }
        if (code != EEXIST) {
            return Fail(code);
        }
    }
    error = 0;
    return false;
}

bool RemoveUnheldTemporary(const QString& path)
{
    const QByteArray native = Native(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    struct stat info{};
    // A running save holds its temporary locked; a crashed one's lock went with its process.
    const bool removed = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0
        && ::unlink(native.constData()) == 0;
    ::close(fd);
    return removed;
}

bool SyncFolder(const QString& folder, Reason* reason)
{
    const int fd = ::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        *reason = Reason(ReasonCode::NotDurable, folder.toStdString(), errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    ::close(fd);
    return true;
}

} // namespace vistrel
