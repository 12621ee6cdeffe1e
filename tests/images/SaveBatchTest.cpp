// Saving a snapshot of the strip on worker threads: per-entry results, progress, cancellation.
#include "Fixtures.h"

#include "images/OutputSize.h"
#include "images/SaveBatch.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <mutex>

namespace vistrel {
namespace {

const CaptureTime kSaveTime{2024, 3, 2, 5, 9, 7, 2, 0};

SaveEntry Entry(std::uint64_t id, std::vector<std::uint8_t> bytes, int W, int H, int filmSize, int rotation)
{
    SaveEntry entry;
    entry.id = id;
    entry.frameData = std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes));
    entry.frameWidth = W;
    entry.frameHeight = H;
    entry.filmSize = filmSize;
    entry.rotation = rotation;
    entry.captureTime = {2024, 3, 2, 5, 9, 6, 59, 0};
    return entry;
}

struct Recorder
{
    std::mutex mutex;
    std::vector<SaveEntryResult> entries;
    std::vector<int> progress;
    std::vector<std::vector<SaveEntryResult>> finished;

    SaveBatch::Callbacks Callbacks()
    {
        return {[this](const SaveEntryResult& r) { std::lock_guard l(mutex); entries.push_back(r); },
                [this](int written, int) { std::lock_guard l(mutex); progress.push_back(written); },
                [this](const std::vector<SaveEntryResult>& all) { std::lock_guard l(mutex); finished.push_back(all); }};
    }
};

TEST(SaveBatch, WritesGoodEntriesAndReportsTheBadOneByIdentity)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("FilmScan/");
    const auto wide = test::EncodeJpeg(test::Quadrants(640, 480));
    const auto square = test::EncodeJpeg(test::Quadrants(500, 500));
    std::vector<SaveEntry> entries = {Entry(11, wide, 640, 480, 0, 0), Entry(22, std::vector<std::uint8_t>(900, 7), 640, 480, 0, 0),
                                      Entry(33, square, 500, 500, 1, 1), Entry(44, wide, 640, 480, 0, 1)};
    SaveBatch batch(std::move(entries), folder, Jpeg, kSaveTime);
    Recorder recorder;
    batch.Start(recorder.Callbacks(), 2);
    batch.Wait();
    ASSERT_TRUE(batch.IsFinished());

    const auto results = batch.Results();
    ASSERT_EQ(results.size(), 4u);
    const std::uint64_t ids[] = {11, 22, 33, 44};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(results[i].id, ids[i]);
        EXPECT_EQ(results[i].position, i + 1);
    }
    EXPECT_TRUE(Failed(results[1].result));
    EXPECT_TRUE(results[1].reason);
    EXPECT_TRUE(results[1].path.isEmpty());
    for (const int i : {0, 2, 3}) {
        EXPECT_TRUE(Succeeded(results[i].result)) << ReasonLogText(results[i].reason);
        EXPECT_TRUE(QFile::exists(results[i].path));
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"20240305090702_01.jpg", "20240305090702_03.jpg", "20240305090702_04.jpg"}));

    std::lock_guard lock(recorder.mutex);
    EXPECT_EQ(recorder.entries.size(), 4u);
    ASSERT_EQ(recorder.progress.size(), 4u);
    EXPECT_TRUE(std::is_sorted(recorder.progress.begin(), recorder.progress.end()));
    EXPECT_EQ(recorder.progress.back(), 3);
    ASSERT_EQ(recorder.finished.size(), 1u);
    EXPECT_EQ(recorder.finished[0].size(), 4u);
}

TEST(SaveBatch, TwoSavesInTheSameSecondReplaceNothing)
{
    QTemporaryDir dir;
    const auto wide = test::EncodeJpeg(test::Quadrants(640, 480));
    QStringList paths;
    for (int round = 0; round < 2; ++round) {
        SaveBatch batch({Entry(1, wide, 640, 480, 0, 0), Entry(2, wide, 640, 480, 0, 2)}, dir.path(), Tiff, kSaveTime);
        batch.Start({});
        batch.Wait();
        for (const auto& r : batch.Results()) {
            ASSERT_TRUE(Succeeded(r.result)) << ReasonLogText(r.reason);
            paths << QFileInfo(r.path).fileName();
        }
    }
    EXPECT_EQ(paths, (QStringList{"20240305090702_01.tif", "20240305090702_02.tif", "20240305090702_01-2.tif",
                                  "20240305090702_02-2.tif"}));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 4);
}

TEST(SaveBatch, CancelledAndEmptySavesWriteNothing)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("never");
    const auto wide = test::EncodeJpeg(test::Quadrants(640, 480));
    {
        SaveBatch batch({Entry(1, wide, 640, 480, 0, 0), Entry(2, wide, 640, 480, 0, 0)}, folder, Jpeg, kSaveTime);
        batch.Cancel();
        Recorder recorder;
        batch.Start(recorder.Callbacks());
        batch.Wait();
        for (const auto& r : batch.Results()) {
            EXPECT_EQ(r.result, kSaveCancelled);
        }
        EXPECT_EQ(recorder.progress.back(), 0);
    }
    {
        SaveBatch batch({}, folder, Jpeg, kSaveTime);
        Recorder recorder;
        batch.Start(recorder.Callbacks());
        EXPECT_TRUE(batch.IsFinished());
        EXPECT_EQ(recorder.finished.size(), 1u);
    }
    EXPECT_FALSE(QFileInfo::exists(folder)) << "no folder for a save that wrote nothing";
}

TEST(SaveBatch, EntriesStayValidWhenTheStripLetsGoOfThem)
{
    // The frame bytes are shared: the window may drop its entries while workers still encode.
    QTemporaryDir dir;
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(test::EncodeJpeg(test::Quadrants(640, 480)));
    SaveEntry entry;
    entry.id = 5;
    entry.frameData = bytes;
    entry.frameWidth = 640;
    entry.frameHeight = 480;
    SaveBatch batch({entry}, dir.path(), Jpeg, kSaveTime);
    entry = {};
    bytes.reset();
    batch.Start({});
    batch.Wait();
    EXPECT_TRUE(Succeeded(batch.Results()[0].result));
}

} // namespace
} // namespace vistrel
