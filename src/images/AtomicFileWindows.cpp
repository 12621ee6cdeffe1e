// The Windows file sink: wide-character paths (long ones too), a flush to the disk, a move that never
// replaces another file.
#include "images/AtomicFile.h"

#include "images/SaveFileName.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <windows.h>

#include <algorithm>
#include <limits>

namespace vistrel {

namespace {

constexpr int kMaxAlternatives = 9999;
constexpr int kTemporaryNameTries = 100;
constexpr DWORD kLargestWrite = std::numeric_limits<DWORD>::max() / 2;

// An absolute path in the form that lifts the MAX_PATH limit: "\\?\C:\..." or "\\?\UNC\server\...".
std::wstring Native(const QString& path)
{
    const QString native = QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    QString extended;
    if (native.startsWith(QLatin1String("\\\\?\\"))) {
        extended = native;
    } else if (native.startsWith(QLatin1String("\\\\"))) {
        extended = QStringLiteral("\\\\?\\UNC\\") + native.mid(2);
    } else {
        extended = QStringLiteral("\\\\?\\") + native;
    }
    return extended.toStdWString();
}

HANDLE Handle(NativeFile file)
{
    return static_cast<HANDLE>(file);
}

} // namespace

bool FileSink::Fail(int code)
{
    error = code;   // a Win32 error code here
    return false;
}

bool FileSink::Write(const void* data, std::size_t count)
{
    const auto* bytes = static_cast<const char*>(data);
    while (count > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count, kLargestWrite));
        DWORD written = 0;
        if (!::WriteFile(Handle(fd), bytes, chunk, &written, nullptr)) {
            return Fail(static_cast<int>(::GetLastError()));
        }
        if (written == 0) {
            return Fail(ERROR_DISK_FULL);   // a write that makes no progress has run out of room
        }
        bytes += written;
        count -= written;
        position += written;
        size = std::max(size, position);
    }
    return true;
}

bool FileSink::Seek(std::uint64_t offset)
{
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(Handle(fd), to, nullptr, FILE_BEGIN)) {
        return Fail(static_cast<int>(::GetLastError()));
    }
    position = offset;
    return true;
}

AtomicFile::AtomicFile(QString wantedPath) : wanted(std::move(wantedPath))
{
}

AtomicFile::~AtomicFile()
{
    if (fd != kNoFile) {
        ::CloseHandle(Handle(fd));
    }
    if (!claimed && !temporary.isEmpty()) {
        ::DeleteFileW(Native(temporary).c_str());
    }
}

bool AtomicFile::Open()
{
    const QFileInfo target(wanted);
    const QString stem = target.absolutePath() + QStringLiteral("/.") + target.fileName() + QLatin1Char('.');
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        const QString candidate = stem + QString::number(QRandomGenerator::global()->generate(), 36);
        // Hidden while it is written; CREATE_NEW fails rather than open a file that is there.
        const HANDLE file = ::CreateFileW(Native(candidate).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            fd = file;
            temporary = candidate;
            return true;
        }
        const DWORD code = ::GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            return Fail(static_cast<int>(code));
        }
    }
    return Fail(ERROR_FILE_EXISTS);
}

bool RemoveUnheldTemporary(const QString& path)
{
    // A running save holds its temporary open without sharing, so only a crashed save's goes.
    return ::DeleteFileW(Native(path).c_str()) != 0;
}

bool AtomicFile::SyncData()
{
    return ::FlushFileBuffers(Handle(fd)) || Fail(static_cast<int>(::GetLastError()));
}

bool AtomicFile::Claim(QString* claimedPath)
{
    // Shown again before it takes its name, so a finished file is never hidden.
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    const bool shown = ::SetFileInformationByHandle(Handle(fd), FileBasicInfo, &basic, sizeof basic);
    const DWORD shownError = ::GetLastError();
    const bool closed = ::CloseHandle(Handle(fd));
    const DWORD closeError = ::GetLastError();
    fd = kNoFile;
    if (!shown) {
        return Fail(static_cast<int>(shownError));
    }
    if (!closed) {
        return Fail(static_cast<int>(closeError));
    }
    const std::wstring from = Native(temporary);
    for (int n = 1; n <= kMaxAlternatives; ++n) {
        const QString candidate = n == 1 ? wanted : AlternativeFileName(wanted, n);
        // Without MOVEFILE_REPLACE_EXISTING the move fails when the name is taken; write-through
        // returns only once the new name is on the disk.
        if (::MoveFileExW(from.c_str(), Native(candidate).c_str(), MOVEFILE_WRITE_THROUGH)) {
            claimed = true;
            *claimedPath = candidate;
            return true;
        }
        const DWORD code = ::GetLastError();
        if (code != ERROR_ALREADY_EXISTS && code != ERROR_FILE_EXISTS) {
            return Fail(static_cast<int>(code));
        }
    }
    error = 0;
    return false;
}

bool SyncFolder(const QString& folder, Reason* reason)
{
    // A folder has no data of its own to flush here: the names in it were made durable by the
    // write-through move. The folder must still be there.
    const DWORD attributes = ::GetFileAttributesW(Native(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *reason = Reason(ReasonCode::NotDurable, folder.toStdString(),
                         attributes == INVALID_FILE_ATTRIBUTES ? static_cast<int>(::GetLastError()) : ERROR_DIRECTORY);
        return false;
    }
    return true;
}

} // namespace vistrel
