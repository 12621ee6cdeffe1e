// A still the scanner fails to deliver, or delivers unreadable, shows in the still diagnostics.
#include "WindowFixture.h"

#include <QLoggingCategory>

namespace vistrel::test {
namespace {

QStringList stillLines;

void CollectStillLines(QtMsgType, const QMessageLogContext& context, const QString& text)
{
    if (QLatin1String(context.category) == QLatin1String("vistrel.still"))
        stillLines << text;
}

class StillLogTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        stillLines.clear();
        previous = qInstallMessageHandler(&CollectStillLines);
        QLoggingCategory::setFilterRules(QStringLiteral("vistrel.still=true"));
        // The scanner takes the trigger but sends nothing: only the stills a test hands over arrive.
        sim::ScannerFaults faults;
        faults.ignoreTrigger = true;
        AddScanner(faults);
        Open();
        ASSERT_TRUE(window->IsScannerAttached());
        window->OnScan();
    }
    void TearDown() override
    {
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        WindowTest::TearDown();
    }

    QtMessageHandler previous = nullptr;
};

TEST_F(StillLogTest, TheTimeOutIsLoggedOnce)
{
    window->OnStillTimeout();
    ASSERT_EQ(stillLines.size(), 1) << stillLines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(stillLines[0].contains(QLatin1String("no still arrived within 2000 ms"))) << stillLines[0].toStdString();
}

TEST_F(StillLogTest, AnUnreadableStillIsLoggedOnceWithTheReason)
{
    Deliver(std::make_shared<const std::vector<std::uint8_t>>(std::vector<std::uint8_t>(4000, 0x5A)));
    ASSERT_EQ(stillLines.size(), 1) << stillLines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(stillLines[0].contains(QLatin1String("4000 bytes was refused"))) << stillLines[0].toStdString();
    EXPECT_TRUE(stillLines[0].contains(QLatin1String("cannot be read"))) << stillLines[0].toStdString();
}

TEST_F(StillLogTest, AGoodStillLogsNothing)
{
    Deliver(JpegStill());
    EXPECT_TRUE(stillLines.isEmpty()) << stillLines.join(QLatin1Char('\n')).toStdString();
}

} // namespace
} // namespace vistrel::test
