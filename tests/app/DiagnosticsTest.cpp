// The diagnostics: quiet until the logging rules ask for them, each capture line in its category.
#include "app/Diagnostics.h"

#include "capture/contract/Diagnostics.h"

#include <QLoggingCategory>
#include <QString>

#include <gtest/gtest.h>

#include <vector>

namespace vistrel {
namespace {

struct Logged
{
    QString category;
    QtMsgType type;
    QString text;
};

std::vector<Logged> logged;

void Collect(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    logged.push_back({QString::fromLatin1(context.category), type, text});
}

class DiagnosticsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        logged.clear();
        previous = qInstallMessageHandler(&Collect);
        InstallCaptureDiagnostics();
    }
    void TearDown() override
    {
        SetDiagnosticSink(nullptr);
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
    }

    QtMessageHandler previous = nullptr;
};

TEST_F(DiagnosticsTest, QuietUnlessTheRulesTurnThemOn)
{
    Diagnose(DiagnosticTopic::Devices, "cannot open a video input device: access denied");
    qCWarning(lcSave) << "cannot write";
    EXPECT_TRUE(logged.empty());

    QLoggingCategory::setFilterRules(QStringLiteral("vistrel.*=true"));
    Diagnose(DiagnosticTopic::Devices, "cannot open a video input device: access denied");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].category, QLatin1String("vistrel.devices"));
    EXPECT_EQ(logged[0].type, QtWarningMsg);
    EXPECT_EQ(logged[0].text, QLatin1String("cannot open a video input device: access denied"));
}

TEST_F(DiagnosticsTest, EachTopicHasItsCategory)
{
    QLoggingCategory::setFilterRules(QStringLiteral("vistrel.*=true"));
    const std::pair<DiagnosticTopic, const char*> topics[] = {
        {DiagnosticTopic::Capture, "vistrel.capture"},
        {DiagnosticTopic::Still, "vistrel.still"},
        {DiagnosticTopic::Devices, "vistrel.devices"},
    };
    for (const auto& [topic, category] : topics) {
        logged.clear();
        Diagnose(topic, "line");
        ASSERT_EQ(logged.size(), 1u) << category;
        EXPECT_EQ(logged[0].category, QLatin1String(category));
    }
}

TEST_F(DiagnosticsTest, OneCategoryAloneCanBeTurnedOn)
{
    QLoggingCategory::setFilterRules(QStringLiteral("vistrel.still=true"));
    Diagnose(DiagnosticTopic::Capture, "not this");
    Diagnose(DiagnosticTopic::Still, "this");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].text, QLatin1String("this"));
}

TEST(ResultText, NamesTheReasonAndKeepsTheCode)
{
    const std::pair<HRESULT, const char*> cases[] = {
        {HresultFromWin32(ERROR_SHARING_VIOLATION), "the device is in use by another program (0x80070020)"},
        {HresultFromWin32(ERROR_DEVICE_NOT_CONNECTED), "the device is not connected (0x8007048F)"},
        {E_FAIL, "unspecified failure (0x80004005)"},
        {MakeResult(0x80040218u), "result 0x80040218"},
    };
    for (const auto& [result, text] : cases)
        EXPECT_EQ(ResultText(result), text);
}

} // namespace
} // namespace vistrel
