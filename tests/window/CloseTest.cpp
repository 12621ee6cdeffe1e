// Closing: unsaved images are not discarded without asking; Enter does nothing; a save holds the
// strip commands and the close until it has finished.
#include "WindowFixture.h"

#include "app/Localization.h"
#include "images/StripJournal.h"
#include "window/StripView.h"

#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

namespace vistrel::test {
namespace {

class CloseTest : public WindowTest
{
protected:
    void OpenWithScanner()
    {
        scanner = AddScanner();
        Open();
        ASSERT_TRUE(window->IsScannerAttached());
    }
    int StripCount() { return window->Strip().Strip().Count(); }
    std::string scanner;
};

TEST_F(CloseTest, EmptyStripClosesAtOnceAndStopsCapture)
{
    OpenWithScanner();
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(prompts->questions.empty());
    EXPECT_FALSE(window->Engine().HasGraph());
    // Notifications are gone: a replug after the close changes nothing.
    Unplug(scanner);
    Plug(scanner);
    EXPECT_FALSE(window->Engine().HasGraph());
}

TEST_F(CloseTest, UnsavedImagesAreOnlyDiscardedWhenTheUserSaysSo)
{
    const struct
    {
        const char* how;
        std::function<void(CVistrelDlg&)> close;
    } paths[] = {
        {"close box", [](CVistrelDlg& w) { w.close(); }},
        {"Escape", [](CVistrelDlg& w) { QTest::keyClick(&w, Qt::Key_Escape); }},
    };
    for (const auto& path : paths) {
        SCOPED_TRACE(path.how);
        prompts->questions.clear();
        OpenWithScanner();
        Deliver(JpegStill());
        ASSERT_EQ(StripCount(), 1);

        prompts->answer = false;
        path.close(*window);
        ASSERT_EQ(prompts->questions.size(), 1u);
        EXPECT_EQ(prompts->questions[0].text, LoadLocalizedText(IdsDiscardUnsaved));
        EXPECT_FALSE(prompts->questions[0].text.isEmpty());
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(StripCount(), 1);
        EXPECT_TRUE(window->Engine().HasGraph());

        prompts->answer = true;
        path.close(*window);
        EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(StripCount(), 0);
        EXPECT_FALSE(window->Engine().HasGraph());
        window.reset();
    }
}

TEST_F(CloseTest, EnterDoesNotEndTheWindowNorScan)
{
    OpenWithScanner();
    window->Control(IdFolderBox)->setFocus();
    QTest::keyClick(window->Control(IdFolderBox), Qt::Key_Return);
    QTest::keyClick(window.get(), Qt::Key_Enter);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->result(), 0);
    EXPECT_FALSE(window->StillTimer().isActive());
}

TEST_F(CloseTest, SaveHoldsScanAndTheStripCommandsAndTheClose)
{
    OpenWithScanner();
    QTemporaryDir folder;
    Get<QLineEdit>(IdFolderBox)->setText(folder.path() + u'/');
    Deliver(JpegStill(640, 480));
    Deliver(JpegStill(640, 480));
    QCoreApplication::sendPostedEvents();

    Click(IdSave);
    ASSERT_TRUE(window->IsSaving());
    for (int id : {IdScan, IdSave, IdDelete, IdRotate, IdMirror, IdFirstThumbnail, IdLastThumbnail})
        EXPECT_FALSE(IsEnabled(id)) << id;
    for (int id : std::initializer_list<int>{1002, IdSlide, IdBrowse, IdFolderBox})
        EXPECT_TRUE(IsEnabled(id)) << id;
    window->OnScan();
    EXPECT_FALSE(window->StillTimer().isActive());

    // A close meanwhile waits for the save, then goes ahead without asking (nothing is left unsaved).
    window->close();
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(WaitFor([this] { return !window->IsSaving(); }, 60000));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(StripCount(), 0);
    EXPECT_TRUE(prompts->questions.empty());
    EXPECT_FALSE(window->isVisible());
}

// A close nobody can answer (SIGTERM, the session's end) asks nothing and leaves the unsaved stills
// in the journal for the next start, even when a question was open as it came.
TEST_F(CloseTest, CloseWithoutQuestionKeepsUnsavedStillsForTheNextStart)
{
    QTemporaryDir state;
    const auto stillsKept = [&] {
        QString reason;
        auto journal = StripJournal::Open(state.path(), &reason);
        return journal ? static_cast<int>(journal->Restore().entries.size()) : -1;
    };
    for (const bool questionOpen : {false, true}) {
        SCOPED_TRACE(questionOpen ? "with the question open" : "at rest");
        prompts->questions.clear();
        OpenWithScanner();
        QString reason;
        window->KeepStripIn(StripJournal::Open(state.path(), &reason));
        Deliver(JpegStill());
        Deliver(JpegStill());
        ASSERT_EQ(StripCount(), 2);

        if (questionOpen) {
            prompts->answer = true;   // the question would have discarded them; the close came first
            prompts->modal->whileOpen = [this] { window->CloseWithoutQuestion(); };
            window->close();
            EXPECT_EQ(prompts->questions.size(), 1u);
        } else {
            window->CloseWithoutQuestion();
            EXPECT_TRUE(prompts->questions.empty());
        }
        EXPECT_FALSE(window->isVisible());
        EXPECT_FALSE(window->Engine().HasGraph());
        window.reset();
        EXPECT_EQ(stillsKept(), 2);
        // The next start took them; the test's next round starts from an empty journal.
        QDir(state.path()).removeRecursively();
    }
}

// The same close during a save waits for it; what the save could not write stays in the journal,
// and no message waits for a reader who is gone.
TEST_F(CloseTest, CloseWithoutQuestionDuringAFailingSaveKeepsWhatWasNotWritten)
{
    QTemporaryDir state, folders;
    OpenWithScanner();
    QString reason;
    window->KeepStripIn(StripJournal::Open(state.path(), &reason));
    QFile inTheWay(folders.filePath("taken"));   // a file where the save folder should be made
    ASSERT_TRUE(inTheWay.open(QIODevice::WriteOnly));
    Get<QLineEdit>(IdFolderBox)->setText(folders.filePath("taken/scans/"));
    Deliver(JpegStill(640, 480));
    QCoreApplication::sendPostedEvents();

    Click(IdSave);
    ASSERT_TRUE(window->IsSaving());
    window->CloseWithoutQuestion();
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(WaitFor([this] { return !window->isVisible(); }, 60000)) << "the window did not close after the save";
    EXPECT_TRUE(prompts->messages.empty());
    EXPECT_TRUE(prompts->questions.empty());
    window.reset();
    auto journal = StripJournal::Open(state.path(), &reason);
    ASSERT_TRUE(journal) << reason.toStdString();
    EXPECT_EQ(journal->Restore().entries.size(), 1u);
}

TEST_F(CloseTest, CommandsReturnWhenTheSaveIsDone)
{
    OpenWithScanner();
    QTemporaryDir folder;
    Get<QLineEdit>(IdFolderBox)->setText(folder.path() + u'/');
    Deliver(JpegStill(640, 480));
    Click(IdSave);
    ASSERT_TRUE(WaitFor([this] { return !window->IsSaving(); }, 60000));
    for (int id : {IdScan, IdSave, IdFirstThumbnail})
        EXPECT_TRUE(IsEnabled(id)) << id;
}

} // namespace
} // namespace vistrel::test
