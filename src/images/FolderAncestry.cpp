#include "images/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace vistrel {

QString ExistingFolderAbove(const QString& folder)
{
    QDir dir(QFileInfo(folder).absoluteFilePath());
    while (!dir.exists() && !dir.isRoot() && dir.cdUp()) {
    }
    return dir.absolutePath();
}

bool SyncFolders(const QString& folder, const QString& upTo, Reason* reason)
{
    QDir dir(QFileInfo(folder).absoluteFilePath());
    const QString last = QDir(upTo).absolutePath();
    for (;;) {
        if (!SyncFolder(dir.absolutePath(), reason)) {
            return false;
        }
        if (dir.absolutePath() == last || dir.isRoot() || !dir.cdUp()) {
            return true;
        }
    }
}

int RemoveStaleTemporaries(const QString& folder)
{
    // ".YYYYMMDDhhmmss_PP.jpg.<base 36>" (or "_PP-N.jpg" for a taken name), as AtomicFile::Open makes it.
    static const QRegularExpression ours(QStringLiteral("^\\.\\d{14,}_\\d{2}(-\\d+)?\\.(jpg|tif)\\.[0-9a-z]{1,7}$"));
    const QDir dir(folder);
    int removed = 0;
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (ours.match(name).hasMatch() && RemoveUnheldTemporary(dir.filePath(name)))
            ++removed;
    }
    return removed;
}

} // namespace vistrel
