#include "images/AtomicFile.h"

#include <QDir>
#include <QFileInfo>

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

} // namespace vistrel
