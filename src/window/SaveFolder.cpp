#include "window/SaveFolder.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>
#include <QStandardPaths>
#include <QUrl>

#include <memory>

#ifndef Q_OS_WIN
#include <dirent.h>
#endif

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

// Whether folder holds an entry whose name reads as name but whose bytes are others: a name that is
// not valid text, shown with replacement characters. Qt's own listing leaves such names out.
bool HoldsLookAlike(const QString& folder, const QString& name)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    Q_UNUSED(name);
    return false;   // names are UTF-16 there, and reach the file system as they are
#else
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(QFile::encodeName(folder).constData()), ::closedir);
    if (!listing)
        return false;
    const QByteArray written = QFile::encodeName(name);
    while (const dirent* entry = ::readdir(listing.get())) {
        const QByteArray raw(entry->d_name);
        if (raw != written && QFile::decodeName(raw) == name)
            return true;
    }
    return false;
#endif
}

// A folder whose name is not valid UTF-8 is shown with replacement characters, and that name,
// written back, makes a different folder. Finds a part of the path that does not exist under the
// name given but is there under other bytes.
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
            return part.contains(kReplacement) && HoldsLookAlike(parent, part);
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
    return WithTrailingSeparator(WithoutTrailingSeparator(base) + u'/' + QLatin1String(kSaveFolderName));
}

QString DefaultSaveFolder()
{
    return DefaultSaveFolder(PicturesFolder(), ModuleFolder());
}

QString WithTrailingSeparator(const QString& path)
{
    // The box shows the folder as the system writes it: C:\Users\u\Pictures\FilmScan\ on Windows.
    return QDir::toNativeSeparators(EndsWithSeparator(path) ? path : path + u'/');
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
