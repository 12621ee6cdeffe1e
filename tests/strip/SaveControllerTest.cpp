#include "StripFixture.h"

#include "app/Localization.h"
#include "images/SaveFileName.h"
#include "window/SaveController.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <map>

namespace vistrel::test {
namespace {

constexpr CaptureTime kSaveTime{2024, 3, 2, 5, 9, 7, 2, 0};
constexpr std::int32_t kJpeg = 0;

class SaveControllerTest : public StripFixture
{
protected:
    void SetUp() override
    {
        StripFixture::SetUp();
        ASSERT_TRUE(temp.isValid());
        saver = new SaveController(window.get(), *view);
        saver->SetFailureReporter([this](const QString& text, const QString& details) {
            reports << text + QLatin1Char('\n') + details;
            reportDetails << details;
        });
        saver->SetClock([this] {
            ++clockReads;
            return kSaveTime;
        });
    }

    QString Folder(const QString& name) const { return temp.filePath(name); }

    // Saves and lets the window thread run until the save has been taken back into the strip.
    void SaveAndWait(const QString& folder, std::int32_t format = kJpeg)
    {
        saver->Save(folder, format);
        WaitForSave();
    }

    void WaitForSave()
    {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !saver->IsSaving(); }, 60000));
    }

    static QString FileName(const QString& folder, int position, std::int32_t format = kJpeg)
    {
        return SaveFileName(folder, kSaveTime, position, format);
    }

    static QStringList FilesIn(const QString& folder)
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir temp;
    SaveController* saver = nullptr;
    QStringList reports;
    QStringList reportDetails;
    int clockReads = 0;
};

TEST_F(SaveControllerTest, SaveWritesEveryEntryThenEmptiesTheStripSilently)
{
    Fill(3);
    view->SelectImage(StripView::kFirstThumbnailId + 1);
    view->RotateSelected();
    view->Strip().At(2).filmSize = 1; // a 126 frame
    QSignalSpy saving(saver, &SaveController::SavingChanged);
    const QString folder = Folder(QStringLiteral("missing/parents"));

    saver->Save(folder, kJpeg);
    EXPECT_TRUE(saver->IsSaving());
    EXPECT_TRUE(view->IsLocked());
    const QList<QProgressDialog*> dialogs = window->findChildren<QProgressDialog*>();
    ASSERT_EQ(dialogs.size(), 1);
    EXPECT_EQ(dialogs[0]->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialogs[0]->maximum(), 3);
    WaitForSave();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window->findChildren<QProgressDialog*>().isEmpty());

    ASSERT_EQ(saving.count(), 2);
    EXPECT_TRUE(saving.at(0).at(0).toBool());
    EXPECT_FALSE(saving.at(1).at(0).toBool());
    EXPECT_EQ(clockReads, 1) << "one time for the whole save";
    EXPECT_TRUE(reports.isEmpty()) << reports.join('\n').toStdString();
    const std::map<int, QSize> expected{{1, QSize(2592, 1744)}, {2, QSize(1744, 2592)}, {3, QSize(2234, 2234)}};
    for (const auto& [position, size] : expected) {
        SCOPED_TRACE(position);
        const QString name = FileName(folder, position);
        EXPECT_TRUE(QFileInfo(name).fileName().startsWith(QStringLiteral("20240305090702_0")));
        EXPECT_EQ(QImageReader(name).size(), size);
    }
    EXPECT_EQ(FilesIn(folder).size(), 3) << FilesIn(folder).join(' ').toStdString();

    EXPECT_EQ(view->Strip().Count(), 0);
    EXPECT_EQ(view->Strip().Selection(), -1);
    EXPECT_FALSE(view->IsLocked());
    EXPECT_EQ(ShownPreview().pixel(3, 3), qRgb(89, 89, 89));
    for (int i = 0; i < StripView::kButtonCount; ++i) {
        EXPECT_TRUE(ShowsPlaceholder(i)) << i;
        EXPECT_EQ(Background(i), QColor(93, 93, 93)) << i;
    }
}

TEST_F(SaveControllerTest, FolderThatCannotBeMadeKeepsEveryEntryAndTellsWhy)
{
    Fill(3);
    view->SelectImage(StripView::kFirstThumbnailId + 0);
    view->MirrorSelected();
    view->SelectImage(StripView::kFirstThumbnailId + 2);
    view->RotateSelected();
    view->RotateSelected();
    std::vector<std::uint64_t> ids;
    for (int i = 0; i < 3; ++i) {
        ids.push_back(view->Strip().At(i).id);
    }
    // A plain file where a folder should be: not even root can create folders below it.
    QFile blocker(Folder(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString folder = Folder(QStringLiteral("blocker/scans/"));

    SaveAndWait(folder);

    ASSERT_EQ(view->Strip().Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(view->Strip().At(i).id, ids[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(view->Strip().At(0).mirrored, 1);
    EXPECT_EQ(view->Strip().At(2).rotation, 2);
    EXPECT_EQ(view->Strip().Selection(), 2) << "the selected entry stays selected";
    EXPECT_EQ(Background(2), QColor(243, 63, 247));
    EXPECT_FALSE(ShowsPlaceholder(0));
    EXPECT_FALSE(view->IsLocked());

    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].startsWith(QStringLiteral("Save image failed"))) << reports[0].toStdString();
    for (int position = 1; position <= 3; ++position) {
        EXPECT_TRUE(reports[0].contains(QFileInfo(FileName(folder, position)).fileName())) << position;
    }
    EXPECT_TRUE(QFileInfo(Folder(QStringLiteral("blocker"))).isFile());
    EXPECT_EQ(FilesIn(temp.path()), QStringList{QStringLiteral("blocker")});
    // Each file is listed in the details with the reason the folder could not be made.
    const QStringList lines = reportDetails[0].split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3);
    for (const QString& line : lines) {
        EXPECT_TRUE(line.contains(QDir::toNativeSeparators(Folder(QStringLiteral("blocker/scans")))))
            << line.toStdString();
        EXPECT_TRUE(line.endsWith(LoadLocalizedText(IdsReasonNameInTheWay) + QLatin1Char('.'))) << line.toStdString();
    }
}

TEST_F(SaveControllerTest, StillThatDoesNotDecodeStaysAndOnlyItIsReported)
{
    Fill(1);
    std::vector<std::uint8_t> garbage(4000, 0x33);
    ASSERT_EQ(Append(MakeEntry(garbage, kStillWidth, kStillHeight)), 1);
    view->RotateSelected();
    ASSERT_EQ(Append(Entry()), 2);
    const std::uint64_t broken = view->Strip().At(1).id;
    const QString folder = Folder(QStringLiteral("out"));

    SaveAndWait(folder);

    ASSERT_EQ(view->Strip().Count(), 1);
    EXPECT_EQ(view->Strip().At(0).id, broken);
    EXPECT_EQ(view->Strip().At(0).rotation, 1);
    EXPECT_EQ(view->Strip().Selection(), 0);
    EXPECT_TRUE(ShowsPlaceholder(1));
    EXPECT_TRUE(QFileInfo::exists(FileName(folder, 1)));
    EXPECT_FALSE(QFileInfo::exists(FileName(folder, 2)));
    EXPECT_TRUE(QFileInfo::exists(FileName(folder, 3)));
    EXPECT_EQ(FilesIn(folder).size(), 2) << "no partial or temporary file is left";
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].contains(QFileInfo(FileName(folder, 2)).fileName()));
    EXPECT_FALSE(reports[0].contains(QFileInfo(FileName(folder, 1)).fileName()));
    EXPECT_FALSE(reports[0].contains(QFileInfo(FileName(folder, 3)).fileName()));
}

TEST_F(SaveControllerTest, SecondSaveInTheSameSecondReplacesNothing)
{
    const QString folder = Folder(QStringLiteral("same"));
    Fill(2);
    SaveAndWait(folder);
    ASSERT_EQ(FilesIn(folder).size(), 2);
    std::map<QString, QByteArray> first;
    for (const QString& name : FilesIn(folder)) {
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        first[name] = file.readAll();
    }

    // Different pictures under the same time stamp and positions.
    Fill(2);
    view->MirrorSelected();
    view->SelectImage(StripView::kFirstThumbnailId);
    view->RotateSelected();
    SaveAndWait(folder);

    EXPECT_TRUE(reports.isEmpty()) << reports.join('\n').toStdString();
    EXPECT_EQ(view->Strip().Count(), 0);
    const QStringList files = FilesIn(folder);
    EXPECT_EQ(files.size(), 4) << files.join(' ').toStdString();
    for (const auto& [name, bytes] : first) {
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        EXPECT_EQ(file.readAll(), bytes) << name.toStdString() << " was replaced";
    }
}

TEST_F(SaveControllerTest, StillArrivingDuringASaveIsKept)
{
    Fill(3);
    const QString folder = Folder(QStringLiteral("during"));
    saver->Save(folder, kJpeg);
    ASSERT_TRUE(saver->IsSaving());

    // Arrives before the save is taken back: appended behind the entries being written.
    CapturedImage late = Entry();
    late.id = NextImageId();
    const std::uint64_t lateId = late.id;
    EXPECT_EQ(view->AppendStill(std::move(late)), 3);
    view->SelectImage(StripView::kFirstThumbnailId + 0);
    view->DeleteSelected(); // refused while the save reads the strip
    EXPECT_EQ(view->Strip().Count(), 4);
    saver->Save(folder, kJpeg); // a second save while one runs is ignored

    WaitForSave();
    QCoreApplication::processEvents();

    ASSERT_EQ(view->Strip().Count(), 1);
    EXPECT_EQ(view->Strip().At(0).id, lateId);
    EXPECT_EQ(view->Strip().Selection(), 0);
    EXPECT_EQ(Background(0), QColor(243, 63, 247));
    EXPECT_FALSE(ShowsPlaceholder(0));
    EXPECT_TRUE(ShowsPlaceholder(1));
    EXPECT_EQ(FilesIn(folder).size(), 3) << FilesIn(folder).join(' ').toStdString();
    EXPECT_TRUE(reports.isEmpty());
}

TEST_F(SaveControllerTest, EmptyStripWritesNothingAndResetsTheStrip)
{
    QSignalSpy saving(saver, &SaveController::SavingChanged);
    QSignalSpy changed(view, &StripView::StripChanged);
    const QString folder = Folder(QStringLiteral("never"));

    saver->Save(folder, kJpeg);

    EXPECT_FALSE(saver->IsSaving());
    EXPECT_EQ(saving.count(), 0);
    EXPECT_EQ(changed.count(), 1) << "the window clears the status as after every save";
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_TRUE(reports.isEmpty());
    EXPECT_EQ(window->focusWidget(), Button(0));
}

} // namespace
} // namespace vistrel::test
