#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace vistrel {

constexpr const char* kSaveFolderName = "FilmScan";

// The folder of the program's executable with a trailing separator, or the empty text.
QString ModuleFolder();

// The user's Pictures folder, or the empty text when the platform has none.
QString PicturesFolder();

// picturesFolder + "/FilmScan/"; the program's folder when there is no Pictures folder; "/FilmScan/"
// when neither is known. In the system's separators, as WithTrailingSeparator gives them.
QString DefaultSaveFolder(const QString& picturesFolder, const QString& moduleFolder);
QString DefaultSaveFolder();

// A chosen folder with its trailing separator ("/" stays "/"), in the system's own separators
// ("\" on Windows).
QString WithTrailingSeparator(const QString& path);

// What the folder box holds, made into the folder a save writes to.
enum class SaveFolderCheck {
    Ok,
    NotFullPath,     // blank, or relative to whatever folder the program was started in
    NameUnreadable,  // names a folder whose name is not valid text: the files would go elsewhere
};
struct ResolvedSaveFolder
{
    SaveFolderCheck check = SaveFolderCheck::Ok;
    QString path;   // when Ok: absolute, "~" expanded, a file:// URL turned into its path
};
// The box keeps the text as typed; only a save (and Browse, "...") resolve it.
ResolvedSaveFolder ResolveSaveFolder(const QString& typed);

// The folder picker of "...": pre-selects the current folder; nullopt when cancelled.
class IFolderChooser
{
public:
    virtual ~IFolderChooser() = default;
    virtual std::optional<QString> ChooseFolder(QWidget* owner, const QString& current) = 0;
};

// Opens a folder in the desktop's file manager.
class IFolderOpener
{
public:
    virtual ~IFolderOpener() = default;
    virtual void OpenFolder(const QString& folder) = 0;
};

class SystemFolderChooser : public IFolderChooser
{
public:
    std::optional<QString> ChooseFolder(QWidget* owner, const QString& current) override;
};

class DesktopFolderOpener : public IFolderOpener
{
public:
    void OpenFolder(const QString& folder) override;
};

} // namespace vistrel
