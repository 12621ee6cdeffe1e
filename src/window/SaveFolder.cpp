#include "window/SaveFolder.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>
#include <QStandardPaths>
#include <QUrl>

namespace vistrel {

namespace {

bool EndsWithSeparator(const QString& path)
{
    return path.endsWith(u'/') || path.endsWith(QDir::separator());
}

QString WithoutTrailingSeparator(QString path)
{
    while (EndsWithSeparator(path))
        path.chop(1);
    return path;
}

// "~" and "~/..." are the user's home; "~name" is left as it is (and is then relative).
QString WithHomeExpanded(const QString& path)
{
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")) || path.startsWith(QStringLiteral("~") + QDir::separator()))
        return QDir::homePath() + path.mid(1);
    return path;
}

QString WithoutFileScheme(const QString& path)
{
    if (!path.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return path;
    const QUrl url(path, QUrl::TolerantMode);
    return url.isLocalFile() ? url.toLocalFile() : path;
}

// A folder whose name is not valid UTF-8 is listed under a name with replacement characters, and
// that name, written back, makes a different folder. Finds a part of the path that is listed in its
// parent but cannot be reached under the listed name.
bool NamesUnreadableFolder(const QString& path)
{
    constexpr QChar kReplacement(0xFFFD);
    if (!path.contains(kReplacement))
        return false;
    const QStringList parts = QDir::cleanPath(path).split(u'/', Qt::SkipEmptyParts);
    QString parent = QDir::cleanPath(path).startsWith(u'/') ? QStringLiteral("/") : QString();
    for (const QString& part : parts) {
        const QString here = parent.isEmpty() ? part : QDir(parent).filePath(part);
        if (!QFileInfo::exists(here)) {
            return part.contains(kReplacement)
                && QDir(parent).entryList(QDir::AllEntries | QDir::Hidden | QDir::System).contains(part);
        }
        parent = here;
    }
    return false;
}

} // namespace

ResolvedSaveFolder ResolveSaveFolder(const QString& typed)
{
    const QString path = WithHomeExpanded(WithoutFileScheme(typed));
    if (path.trimmed().isEmpty() || !QDir::isAbsolutePath(path))
        return {SaveFolderCheck::NotFullPath, {}};
    if (NamesUnreadableFolder(path))
        return {SaveFolderCheck::NameUnreadable, {}};
    return {SaveFolderCheck::Ok, path};
}

QString ModuleFolder()
{
    const QString folder = QCoreApplication::applicationDirPath();
    return folder.isEmpty() ? QString() : WithTrailingSeparator(folder);
}

QString PicturesFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
}

QString DefaultSaveFolder(const QString& picturesFolder, const QString& moduleFolder)
{
    const QString base = picturesFolder.isEmpty() ? moduleFolder : picturesFolder;
    return WithoutTrailingSeparator(base) + u'/' + QLatin1String(kSaveFolderName) + u'/';
}

QString DefaultSaveFolder()
{
    return DefaultSaveFolder(PicturesFolder(), ModuleFolder());
}

QString WithTrailingSeparator(const QString& path)
{
    return EndsWithSeparator(path) ? path : path + u'/';
}

std::optional<QString> SystemFolderChooser::ChooseFolder(QWidget* owner, const QString& current)
{
    const QString chosen = QFileDialog::getExistingDirectory(owner, QString(), current, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

void DesktopFolderOpener::OpenFolder(const QString& folder)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

} // namespace vistrel
