// The save folder: its default, the separator rule of a chosen folder, "..." and Browse, and the
// box's text made into a folder at save.
#include "WindowFixture.h"

#include "app/Localization.h"
#include "window/StripView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vistrel::test {
namespace {

TEST(SaveFolder, DefaultIsThePicturesFolderThenTheProgramsFolder)
{
    const struct
    {
        const char* pictures;
        const char* module;
        const char* expected;
    } cases[] = {
        {"/home/u/Pictures", "/opt/vistrel/", "/home/u/Pictures/FilmScan/"},
        {"/home/u/Pictures/", "/opt/vistrel/", "/home/u/Pictures/FilmScan/"},
        {"", "/opt/vistrel/", "/opt/vistrel/FilmScan/"},
        {"", "", "/FilmScan/"},
        {"/", "", "/FilmScan/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DefaultSaveFolder(QString::fromUtf8(c.pictures), QString::fromUtf8(c.module)),
                  QString::fromUtf8(c.expected))
            << c.pictures << " | " << c.module;
    }
}

TEST(SaveFolder, ChosenFolderGetsOneTrailingSeparator)
{
    const struct
    {
        const char* chosen;
        const char* expected;
    } cases[] = {
        {"/", "/"},
        {"/data/Scans", "/data/Scans/"},
        {"/data/Scans/", "/data/Scans/"},
        {"/data/Film Scans 2024", "/data/Film Scans 2024/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WithTrailingSeparator(QString::fromUtf8(c.chosen)), QString::fromUtf8(c.expected));
}

TEST(SaveFolder, ModuleFolderIsTheExecutablesFolderWithSeparator)
{
    const QString folder = ModuleFolder();
    EXPECT_EQ(folder, QCoreApplication::applicationDirPath() + u'/');
}

TEST_F(WindowTest, FolderBoxStartsWithTheDefaultFolder)
{
    Open();
    EXPECT_EQ(window->Settings().saveFolder, DefaultSaveFolder());
    EXPECT_EQ(Get<QLineEdit>(IdFolderBox)->text(), DefaultSaveFolder());
    EXPECT_TRUE(DefaultSaveFolder().endsWith(QLatin1String("/FilmScan/")));
}

TEST_F(WindowTest, ChoosingAFolderPreselectsTheTypedPathAndAppendsTheSeparator)
{
    Open();
    auto* box = Get<QLineEdit>(IdFolderBox);
    box->setText(QStringLiteral("/typed/here"));
    chooser->answer = QStringLiteral("/data/Scans");
    Click(IdChooseFolder);
    ASSERT_EQ(chooser->preselected.size(), 1);
    EXPECT_EQ(chooser->preselected.front(), QStringLiteral("/typed/here"));
    EXPECT_EQ(window->Settings().saveFolder, QStringLiteral("/data/Scans/"));
    EXPECT_EQ(box->text(), QStringLiteral("/data/Scans/"));

    chooser->answer = QStringLiteral("/");
    Click(IdChooseFolder);
    EXPECT_EQ(box->text(), QStringLiteral("/"));
}

TEST_F(WindowTest, CancelledChoiceKeepsWhatWasTyped)
{
    Open();
    auto* box = Get<QLineEdit>(IdFolderBox);
    box->setText(QStringLiteral("/typed/without/separator"));
    chooser->answer.reset();
    Click(IdChooseFolder);
    EXPECT_EQ(box->text(), QStringLiteral("/typed/without/separator"));
    EXPECT_EQ(window->Settings().saveFolder, QStringLiteral("/typed/without/separator"));
}

TEST_F(WindowTest, BrowseOpensTheFolderLastReadNotTheTypedOne)
{
    Open();
    const QString before = window->Settings().saveFolder;
    Get<QLineEdit>(IdFolderBox)->setText(QStringLiteral("/somewhere/else/"));
    Click(IdBrowse);
    ASSERT_EQ(opener->opened.size(), 1);
    EXPECT_EQ(opener->opened.front(), before);

    // "..." reads the box first; Browse then opens what was chosen.
    chooser->answer = QStringLiteral("/chosen");
    Click(IdChooseFolder);
    Click(IdBrowse);
    EXPECT_EQ(opener->opened.back(), QStringLiteral("/chosen/"));
}

} // namespace
} // namespace vistrel::test

namespace vistrel::test {
namespace {

// The folder box as typed, at save: where the files go, or the message that nothing was saved.
class SaveFolderTextTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_TRUE(temp.isValid());
        home = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(temp.filePath(QStringLiteral("home"))));
        ASSERT_TRUE(QDir().mkpath(temp.filePath(QStringLiteral("home"))));
        workingFolder = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(temp.path()));
        AddScanner();
        Open();
    }
    void TearDown() override
    {
        QDir::setCurrent(workingFolder);
        qputenv("HOME", home);
        WindowTest::TearDown();
    }
    // Types text into the box, takes one still and presses Save; true when the save ran.
    bool SaveInto(const QString& text)
    {
        Deliver(JpegStill());
        Get<QLineEdit>(IdFolderBox)->setText(text);
        Click(IdSave);
        return WaitFor([this] { return !window->IsSaving(); }) && window->Strip().Strip().Count() == 0;
    }
    static int FilesIn(const QString& folder)
    {
        return static_cast<int>(QDir(folder).entryList(QDir::Files).size());
    }

    QTemporaryDir temp;
    QByteArray home;
    QString workingFolder;
};

TEST_F(SaveFolderTextTest, HomeAndFileUrlsAreTheFoldersTheyName)
{
    const struct
    {
        QString typed;
        QString folder;
    } cases[] = {
        {QStringLiteral("~/Pictures/scans"), temp.filePath(QStringLiteral("home/Pictures/scans"))},
        {QStringLiteral("~"), temp.filePath(QStringLiteral("home"))},
        {QUrl::fromLocalFile(temp.filePath(QStringLiteral("from url/x"))).toString(),
         temp.filePath(QStringLiteral("from url/x"))},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(SaveInto(c.typed)) << c.typed.toStdString();
        EXPECT_EQ(FilesIn(c.folder), 1) << c.typed.toStdString();
        EXPECT_EQ(Get<QLineEdit>(IdFolderBox)->text(), c.typed) << "the box keeps the text as typed";
        EXPECT_TRUE(prompts->messages.empty()) << c.typed.toStdString();
    }
    // Nothing went below the working folder under a name made of the text.
    EXPECT_FALSE(QFileInfo::exists(temp.filePath(QStringLiteral("~"))));
    EXPECT_FALSE(QFileInfo::exists(temp.filePath(QStringLiteral("file:"))));
}

TEST_F(SaveFolderTextTest, BlankOrRelativeFolderIsRefusedAndTheStillsStay)
{
    for (const QString& typed : {QStringLiteral("   "), QString(), QStringLiteral("scans/today"),
                                 QStringLiteral("~other/scans")}) {
        prompts->messages.clear();
        const int before = window->Strip().Strip().Count();
        EXPECT_FALSE(SaveInto(typed)) << typed.toStdString();
        EXPECT_EQ(window->Strip().Strip().Count(), before + 1) << typed.toStdString();
        ASSERT_EQ(prompts->messages.size(), 1u) << typed.toStdString();
        EXPECT_EQ(prompts->messages[0].text, LoadLocalizedText(IdsSaveFolderNotFullPath));
        EXPECT_FALSE(prompts->messages[0].text.isEmpty());
    }
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("home")});
}

#ifndef Q_OS_WIN
TEST_F(SaveFolderTextTest, FolderWhoseNameIsNotTextIsNotSwappedForAnother)
{
    // The user picks a folder named with Latin-1 bytes; the box shows it with replacement characters.
    const QByteArray raw = QFile::encodeName(temp.path()) + "/lat\xe9t\xe9";
    ASSERT_EQ(::mkdir(raw.constData(), 0700), 0);
    const QString shown = QFile::decodeName(raw);
    ASSERT_TRUE(shown.contains(QChar(0xFFFD)));

    EXPECT_FALSE(SaveInto(shown));
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(prompts->messages[0].text, LoadLocalizedText(IdsSaveFolderNameUnreadable));
    EXPECT_EQ(window->Strip().Strip().Count(), 1);
    // Neither a look-alike folder was made nor anything written into the chosen one.
    EXPECT_FALSE(QFileInfo::exists(shown));
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{QStringLiteral("home")});
    EXPECT_EQ(::rmdir(raw.constData()), 0) << "the chosen folder is no longer empty";

    // A folder that really is named with the replacement character is used as it is.
    prompts->messages.clear();
    const QString real = temp.filePath(QStringLiteral("real\uFFFDname"));
    ASSERT_TRUE(SaveInto(real));
    EXPECT_EQ(FilesIn(real), 2);
    EXPECT_TRUE(prompts->messages.empty());
}
#endif

} // namespace
} // namespace vistrel::test
