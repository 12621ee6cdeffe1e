// The journal kept in step with the strip: what the user does to the strip (scan, delete, mirror,
// rotate, save, discard) is what the next start finds, and the next start puts it back.
#include "StripFixture.h"

#include "app/Localization.h"
#include "images/StripJournal.h"
#include "window/SaveController.h"
#include "window/StripKeeper.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace vistrel::test {
namespace {

struct Orientation
{
    int mirrored, rotation;
    bool operator==(const Orientation&) const = default;
};

class StripKeeperTest : public StripFixture
{
protected:
    void SetUp() override
    {
        StripFixture::SetUp();
        ASSERT_TRUE(temp.isValid());
        Keep();
    }

    void Keep()
    {
        QString reason;
        auto journal = StripJournal::Open(temp.filePath("state"), &reason);
        ASSERT_TRUE(journal) << reason.toStdString();
        keeper = std::make_unique<StripKeeper>(*view, std::move(journal));
    }

    // What a start after this one would find: the stills' orientations, in order.
    std::vector<Orientation> NextStartFinds()
    {
        keeper.reset();
        QString reason;
        auto journal = StripJournal::Open(temp.filePath("state"), &reason);
        std::vector<Orientation> found;
        for (const CapturedImage& entry : journal->Restore().entries)
            found.push_back({entry.mirrored, entry.rotation});
        return found;
    }

    // A start after this one: a fresh strip, the same journal.
    QString Restart()
    {
        keeper.reset();
        TearDown();
        StripFixture::SetUp();
        Keep();
        const Wording told = keeper->Restore();
        return told ? told() : QString();
    }

    std::vector<Orientation> StripHolds() const
    {
        std::vector<Orientation> held;
        for (int i = 0; i < view->Strip().Count(); ++i)
            held.push_back({view->Strip().At(i).mirrored, view->Strip().At(i).rotation});
        return held;
    }

    void Select(int position) { view->SelectImage(StripView::kFirstThumbnailId + position); }

    QTemporaryDir temp;
    std::unique_ptr<StripKeeper> keeper;
};

TEST_F(StripKeeperTest, JournalFollowsScansDeletesMirrorsAndRotations)
{
    Fill(5);
    Select(1);
    view->MirrorSelected();
    Select(2);
    view->RotateSelected();
    view->RotateSelected();
    Select(3);
    view->DeleteSelected();   // the fourth still goes
    Select(3);
    view->RotateSelected();
    view->MirrorSelected();

    const std::vector<Orientation> expected {{0, 0}, {1, 0}, {0, 2}, {1, 1}};
    EXPECT_EQ(StripHolds(), expected);
    EXPECT_EQ(NextStartFinds(), expected);
}

TEST_F(StripKeeperTest, NextStartPutsTheStillsBackInOrderAndSaysSo)
{
    Fill(3);
    Select(0);
    view->RotateSelected();
    Select(2);
    view->MirrorSelected();
    const std::vector<std::uint8_t> secondBytes = *view->Strip().At(1).frameData;

    const QString told = Restart();
    EXPECT_EQ(told, LoadLocalizedText(IdsStillsRestored).arg(3));
    EXPECT_FALSE(told.isEmpty());
    const std::vector<Orientation> expected {{0, 1}, {0, 0}, {1, 0}};
    EXPECT_EQ(StripHolds(), expected);
    EXPECT_EQ(*view->Strip().At(1).frameData, secondBytes);
    QCoreApplication::processEvents();   // the posted selections
    EXPECT_EQ(view->Strip().Selection(), 2);
    EXPECT_FALSE(ShowsPlaceholder(0));

    // Nothing journaled, nothing said.
    keeper->Discard();
    EXPECT_TRUE(Restart().isEmpty());
    EXPECT_EQ(view->Strip().Count(), 0);
}

TEST_F(StripKeeperTest, SaveClearsTheSavedEntriesAndKeepsTheOnesThatFailed)
{
    auto* saver = new SaveController(window.get(), *view);
    saver->SetFailureReporter([](const QString&, const QString&) {});
    Fill(2);
    // An entry whose file cannot be written stays in the strip, and so in the journal.
    CapturedImage broken = Entry();
    broken.frameData = std::make_shared<const std::vector<std::uint8_t>>(std::vector<std::uint8_t>{0xff, 0xd8, 0x00});
    broken.rotation = 3;
    Append(std::move(broken));
    saver->Save(temp.filePath("pictures"), 0);
    ASSERT_TRUE(QTest::qWaitFor([saver] { return !saver->IsSaving(); }, 60000));
    EXPECT_EQ(QDir(temp.filePath("pictures")).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(NextStartFinds(), (std::vector<Orientation>{{0, 3}}));
}

TEST_F(StripKeeperTest, DiscardClearsTheJournalAndAKeptCloseDoesNot)
{
    Fill(2);
    keeper->KeepForNextStart();
    view->ClearStrip();   // the window's close empties the strip; the journal keeps it
    EXPECT_EQ(NextStartFinds().size(), 2u);

    Keep();
    keeper->Restore();
    EXPECT_EQ(view->Strip().Count(), 2);
    keeper->Discard();
    view->ClearStrip();
    EXPECT_TRUE(NextStartFinds().empty());
}

} // namespace
} // namespace vistrel::test
