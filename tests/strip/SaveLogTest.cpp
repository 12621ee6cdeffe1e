// Files that cannot be written reach the save diagnostics, once each with the reason, when asked for.
#include "StripFixture.h"

#include "images/SaveFileName.h"
#include "window/SaveController.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

#include <ostream>

namespace vistrel::test {
namespace {

constexpr CaptureTime kSaveTime{2024, 3, 2, 5, 9, 7, 2, 0};
constexpr std::int32_t kJpeg = 0;

QStringList saveLines;

void CollectSaveLines(QtMsgType, const QMessageLogContext& context, const QString& text)
{
    if (QLatin1String(context.category) == QLatin1String("vistrel.save"))
        saveLines << text;
}

struct LogCase
{
    const char* name;
    const char* rules;
    bool logged;
};

void PrintTo(const LogCase& c, std::ostream* os)
{
    *os << c.name;
}

class SaveLogTest : public StripFixture, public ::testing::WithParamInterface<LogCase>
{
protected:
    void SetUp() override
    {
        StripFixture::SetUp();
        saveLines.clear();
        previous = qInstallMessageHandler(&CollectSaveLines);
    }
    void TearDown() override
    {
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        StripFixture::TearDown();
    }

    QtMessageHandler previous = nullptr;
};

TEST_P(SaveLogTest, EachFileThatCannotBeWrittenIsLoggedOnceWithItsReason)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    Fill(2);
    // A plain file where the folder should be: nothing below it can be made, not even by root.
    QFile blocker(temp.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString folder = temp.filePath(QStringLiteral("blocker/scans/"));
    auto* saver = new SaveController(window.get(), *view);
    saver->SetFailureReporter([](const QString&, const QString&) {});
    saver->SetClock([] { return kSaveTime; });
    QLoggingCategory::setFilterRules(QLatin1String(GetParam().rules));

    saver->Save(folder, kJpeg);
    ASSERT_TRUE(QTest::qWaitFor([saver] { return !saver->IsSaving(); }, 60000));

    if (!GetParam().logged) {
        EXPECT_TRUE(saveLines.isEmpty()) << saveLines.join(QLatin1Char('\n')).toStdString();
        return;
    }
    ASSERT_EQ(saveLines.size(), 2) << saveLines.join(QLatin1Char('\n')).toStdString();
    for (int position = 1; position <= 2; ++position) {
        const QString name = QFileInfo(SaveFileName(folder, kSaveTime, position, kJpeg)).fileName();
        const QString& line = saveLines[position - 1];
        EXPECT_TRUE(line.contains(name)) << line.toStdString();
        EXPECT_GT(line.size(), line.indexOf(name) + name.size() + 2) << "no reason: " << line.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Rules, SaveLogTest,
                         ::testing::Values(LogCase {"QuietByDefault", "", false},
                                           LogCase {"AllOn", "vistrel.*=true", true},
                                           LogCase {"SaveOn", "vistrel.save=true", true},
                                           LogCase {"OthersOn", "vistrel.capture=true\nvistrel.devices=true", false}),
                         [](const ::testing::TestParamInfo<LogCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace vistrel::test
