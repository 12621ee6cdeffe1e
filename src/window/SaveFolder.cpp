#include "window/SaveFolder.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
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

} // namespace

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
