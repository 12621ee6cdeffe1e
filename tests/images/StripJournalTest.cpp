// The strip's journal on a real folder: what it writes comes back after the journal (or its
// process) has gone, in order and with each still's orientation; damaged files are skipped; files and
// folders are private; two journals at once keep apart. And the clean-up of a crashed save's
// temporaries, which removes only ours and only those no save holds.
#include "Fixtures.h"

#include "images/AtomicFile.h"
#include "images/StripJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <vector>

namespace vistrel::test {
namespace {

// A still of its own for each n, so that order and identity show in the bytes.
CapturedImage Still(int n, std::int32_t mirrored = 0, std::int32_t rotation = 0)
{
    CapturedImage entry;
    entry.id = NextImageId();
    const auto bytes = EncodeJpeg(Quadrants(64 + 8 * n, 48), 90);
    entry.frameData = std::make_shared<const std::vector<std::uint8_t>>(bytes);
    entry.frameSize = static_cast<std::int32_t>(bytes.size());
    entry.captureTime = CaptureTime {2026, 12, 5, 11, 3, 4, static_cast<std::uint16_t>(n), 250};
    entry.filmType = n % 3;
    entry.filmSize = n % 2;
    entry.resolution = (n / 2) % 2;
    entry.frameWidth = 64 + 8 * n;
    entry.frameHeight = 48;
    entry.mirrored = mirrored;
    entry.rotation = rotation;
    return entry;
}

void ExpectSameStill(const CapturedImage& restored, const CapturedImage& original)
{
    ASSERT_TRUE(restored.frameData);
    EXPECT_EQ(*restored.frameData, *original.frameData);
    EXPECT_EQ(restored.frameSize, original.frameSize);
    EXPECT_EQ(restored.captureTime.second, original.captureTime.second);
    EXPECT_EQ(restored.captureTime.millisecond, original.captureTime.millisecond);
    EXPECT_EQ(restored.filmType, original.filmType);
    EXPECT_EQ(restored.filmSize, original.filmSize);
    EXPECT_EQ(restored.resolution, original.resolution);
    EXPECT_EQ(restored.frameWidth, original.frameWidth);
    EXPECT_EQ(restored.frameHeight, original.frameHeight);
}

mode_t ModeOf(const QString& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}

class StripJournalTest : public ::testing::Test
{
protected:
    std::unique_ptr<StripJournal> Open()
    {
        QString reason;
        auto journal = StripJournal::Open(State(), &reason);
        EXPECT_TRUE(journal) << reason.toStdString();
        return journal;
    }
    QString State() const { return temp.filePath("state/journal"); }

    QTemporaryDir temp;
};

TEST_F(StripJournalTest, WhatWasJournaledComesBackInOrderWithItsOrientation)
{
    const std::vector<CapturedImage> stills {Still(1), Still(2, 1, 0), Still(3), Still(4), Still(5, 0, 3)};
    {
        auto journal = Open();
        ASSERT_TRUE(journal);
        EXPECT_TRUE(journal->Restore().entries.empty());
        for (const CapturedImage& still : stills)
            journal->Add(still);
        journal->SetOrientation(stills[0].id, 0, 1);   // rotated
        journal->SetOrientation(stills[2].id, 1, 2);   // mirrored and turned twice
        journal->SetOrientation(stills[4].id, 0, 0);   // turned back
        journal->Remove(stills[3].id);                 // deleted
    }   // the process ends: the queued writes finish first

    auto next = Open();
    ASSERT_TRUE(next);
    const JournalRestore found = next->Restore();
    EXPECT_EQ(found.unreadable, 0);
    ASSERT_EQ(found.entries.size(), 4u);
    const int expected[][3] = {{0, 0, 1}, {1, 1, 0}, {2, 1, 2}, {4, 0, 0}};   // still, mirrored, rotation
    for (std::size_t i = 0; i < found.entries.size(); ++i) {
        SCOPED_TRACE(i);
        ExpectSameStill(found.entries[i], stills[static_cast<std::size_t>(expected[i][0])]);
        EXPECT_EQ(found.entries[i].mirrored, expected[i][1]);
        EXPECT_EQ(found.entries[i].rotation, expected[i][2]);
    }

    // The restored entries are followed by their new ids: a change to them lasts as well.
    EXPECT_EQ(next->Ids().size(), 4u);
    next->Remove(found.entries[1].id);
    next->SetOrientation(found.entries[0].id, 1, 3);
    next->Add(Still(6));
    next.reset();
    const JournalRestore again = Open()->Restore();
    ASSERT_EQ(again.entries.size(), 4u);
    EXPECT_EQ(again.entries[0].mirrored, 1);
    EXPECT_EQ(again.entries[0].rotation, 3);
    ExpectSameStill(again.entries[1], stills[2]);
    ExpectSameStill(again.entries[3], Still(6));
}

TEST_F(StripJournalTest, ClearedJournalLeavesNothingForTheNextStart)
{
    {
        auto journal = Open();
        journal->Add(Still(1));
        journal->Add(Still(2, 1, 1));
        journal->Flush();
        journal->Clear();
    }
    auto next = Open();
    EXPECT_TRUE(next->Restore().entries.empty());
    EXPECT_TRUE(QDir(next->Folder()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(StripJournalTest, DamagedEntriesAreSkippedAndTheRestComesBack)
{
    QString folder;
    {
        auto journal = Open();
        for (int n = 1; n <= 4; ++n)
            journal->Add(Still(n, 0, n % 4));
        folder = journal->Folder();
    }
    const QDir dir(folder);
    const QStringList stills = dir.entryList({"*.still"}, QDir::Files, QDir::Name);
    ASSERT_EQ(stills.size(), 4);
    {   // one byte of the picture flipped on the disk
        QFile file(dir.filePath(stills[1]));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x5a);
        file.seek(0);
        file.write(bytes);
    }
    // cut short, as a disk that lost its tail
    ASSERT_TRUE(QFile::resize(dir.filePath(stills[2]), 100));
    // and files that are not the journal's at all
    for (const char* junk : {"zz-not-a-number.still", "0000000000000063.still"}) {
        QFile file(dir.filePath(junk));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a still");
    }
    {   // a damaged orientation file leaves its still as captured
        QFile turn(dir.filePath(QString(stills[3]).replace(".still", ".turn")));
        ASSERT_TRUE(turn.open(QIODevice::WriteOnly | QIODevice::Truncate));
        turn.write("garbage");
    }

    auto next = Open();
    const JournalRestore found = next->Restore();
    EXPECT_EQ(found.unreadable, 4);
    ASSERT_EQ(found.entries.size(), 2u);
    ExpectSameStill(found.entries[0], Still(1));
    EXPECT_EQ(found.entries[0].rotation, 1);
    ExpectSameStill(found.entries[1], Still(4));
    EXPECT_EQ(found.entries[1].rotation, 0);
    // Told once: the damaged files are gone.
    next.reset();
    EXPECT_EQ(Open()->Restore().unreadable, 0);
}

TEST_F(StripJournalTest, FilesAndFoldersArePrivateWhateverTheUmask)
{
    const mode_t previous = ::umask(0);
    QString folder;
    {
        auto journal = Open();
        journal->Add(Still(1, 1, 1));
        journal->Flush();
        folder = journal->Folder();
        EXPECT_EQ(ModeOf(State()), 0700u);
        EXPECT_EQ(ModeOf(folder), 0700u);
        const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        ASSERT_EQ(files.size(), 2) << files.join(' ').toStdString();
        for (const QString& file : files)
            EXPECT_EQ(ModeOf(QDir(folder).filePath(file)), 0600u) << file.toStdString();
        for (const QString& file : QDir(State()).entryList({"*.lock"}, QDir::Files))
            EXPECT_EQ(ModeOf(QDir(State()).filePath(file)), 0600u) << file.toStdString();
    }
    ::umask(previous);
}

TEST_F(StripJournalTest, TwoJournalsAtOnceKeepApartAndAnEndedOwnersStillsAreTakenOver)
{
    auto first = Open();
    first->Add(Still(1));
    first->Flush();

    // A second instance while the first runs: its own slot, none of the first one's stills.
    auto second = Open();
    ASSERT_TRUE(second);
    EXPECT_NE(second->Folder(), first->Folder());
    EXPECT_TRUE(second->Restore().entries.empty());
    second->Add(Still(2));
    second.reset();

    // The first one's process dies without letting go: its lock names a process that is gone.
    const QString firstFolder = first->Folder();
    first.reset();
    {
        QFile lock(firstFolder + ".lock");
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write("2147483600\nvistrel\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    }
    auto next = Open();
    ASSERT_EQ(next->Folder(), firstFolder);
    const JournalRestore found = next->Restore();
    ASSERT_EQ(found.entries.size(), 1u);
    ExpectSameStill(found.entries[0], Still(1));
}

// Temporaries in a save folder: removed when ours and stale; a name that only looks alike, and a
// temporary a running save holds, stay.
TEST(StaleTemporaries, OnlyOursAndOnlyStaleOnesAreRemoved)
{
    QTemporaryDir folder;
    const QDir dir(folder.path());
    const QStringList stale {".20261211020701_05.tif.1kcgxsu", ".20261211020701_12.jpg.0", ".20240305090702_03.jpg.zzzzzz",
                             ".20240305090702_03-2.jpg.1kcgxsu"};   // a taken name's suffix
    const QStringList others {".20261211020701_05.tif",        // no random tail
                              "20261211020701_05.tif.1kcgxsu",   // not hidden
                              ".20261211020701_05.png.1kcgxsu",  // another format
                              ".2026121102070_05.tif.1kcgxsu",   // a digit short
                              ".20261211020701_05.tif.1KCGXSU",  // not our alphabet
                              ".20261211020701_5.tif.abc",       // position not two digits
                              ".notes.txt.abc", "20261211020701_05.tif"};
    for (const QString& name : stale + others) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("half a picture");
    }
    ASSERT_TRUE(dir.mkdir(".20261211020701_06.tif.dir1"));   // a folder of that name is not a file of ours

    // A save that is writing right now.
    AtomicFile running(dir.filePath("20261211020701_07.tif"));
    ASSERT_TRUE(running.Open());
    ASSERT_TRUE(running.Write("x", 1));

    EXPECT_EQ(RemoveStaleTemporaries(folder.path()), stale.size());
    for (const QString& name : stale)
        EXPECT_FALSE(dir.exists(name)) << name.toStdString();
    for (const QString& name : others)
        EXPECT_TRUE(dir.exists(name)) << name.toStdString();
    EXPECT_TRUE(dir.exists(".20261211020701_06.tif.dir1"));
    const QStringList held = dir.entryList({".20261211020701_07.tif.*"}, QDir::Files | QDir::Hidden);
    EXPECT_EQ(held.size(), 1) << "the running save's temporary was removed";

    QString claimed;
    ASSERT_TRUE(running.Claim(&claimed));
    EXPECT_TRUE(QFileInfo::exists(claimed));
}

} // namespace
} // namespace vistrel::test
