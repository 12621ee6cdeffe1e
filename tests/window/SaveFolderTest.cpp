// The save folder: its default, the separator rule of a chosen folder, "..." and Browse.
#include "WindowFixture.h"

#include <QLineEdit>
#include <QTest>

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
