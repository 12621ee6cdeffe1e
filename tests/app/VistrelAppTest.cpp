// The application object around a stand-in window: the order of start-up and shut-down.
#include "app/VistrelApp.h"

#include "app/Localization.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStyle>
#include <QTemporaryDir>
#include <QTimer>

namespace vistrel {
namespace {

// What the window saw of the application around it.
struct WindowLog
{
    int created = 0;
    int shown = 0;
    bool destroyed = false;
    bool applicationAtCreation = false;
    bool applicationAtDestruction = false;
    LANGID languageAtCreation = 0;
    QString organisation, application, style;
};

class StandInWindow : public QDialog
{
public:
    explicit StandInWindow(WindowLog& log) : log(log)
    {
        ++log.created;
        log.applicationAtCreation = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
        log.languageAtCreation = CurrentUiLanguage();
        log.organisation = QCoreApplication::organizationName();
        log.application = QCoreApplication::applicationName();
        log.style = QApplication::style()->name();
        // Closes itself from inside the modal run, as the user would.
        QTimer::singleShot(0, this, &QDialog::reject);
    }
    ~StandInWindow() override
    {
        log.destroyed = true;
        log.applicationAtDestruction = QCoreApplication::instance() != nullptr;
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        ++log.shown;
        QDialog::showEvent(event);
    }

private:
    WindowLog& log;
};

class ApplicationRun : public testing::Test
{
protected:
    void SetUp() override
    {
        for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
            QSettings::setPath(format, QSettings::UserScope, user.path());
            QSettings::setPath(format, QSettings::SystemScope, system.path());
        }
        SetCurrentUiLanguage(GetUserDefaultLangID());
    }

    void StoreLanguage(const char* value)
    {
        QDir(user.path()).mkpath(QStringLiteral("Vistrel"));
        QFile file(user.filePath(QStringLiteral("Vistrel/Vistrel.conf")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("[Config]\nUILanguage=") + value + "\n");
    }

    int Run(CVistrelApp::WindowFactory factory)
    {
        char name[] = "vistrel";
        char* argv[] = {name, nullptr};
        int argc = 1;
        CVistrelApp app(argc, argv, std::move(factory));
        return app.InitInstance();
    }

    QTemporaryDir user, system;
};

TEST_F(ApplicationRun, PreparesEverythingBeforeTheWindowAndTearsDownAfterIt)
{
    StoreLanguage("0x0410");
    WindowLog log;
    const int code = Run([&] { return std::make_unique<StandInWindow>(log); });

    EXPECT_EQ(code, 0);
    EXPECT_EQ(log.created, 1);
    EXPECT_EQ(log.shown, 1) << "the window was not run";
    EXPECT_TRUE(log.applicationAtCreation);
    EXPECT_EQ(log.languageAtCreation, 0x0410) << "the configured language was not in force";
    EXPECT_EQ(log.organisation, QStringLiteral("Vistrel"));
    EXPECT_EQ(log.application, QStringLiteral("Vistrel"));
    EXPECT_EQ(log.style.toLower(), QStringLiteral("fusion"));
    EXPECT_TRUE(log.destroyed);
    EXPECT_TRUE(log.applicationAtDestruction) << "the window outlived the toolkit";
    EXPECT_EQ(QCoreApplication::instance(), nullptr) << "the toolkit outlived the run";
}

TEST_F(ApplicationRun, KeepsTheUsersLanguageWhenTheStoreSaysSo)
{
    StoreLanguage("0xFFFF");
    WindowLog log;
    Run([&] { return std::make_unique<StandInWindow>(log); });
    EXPECT_EQ(log.languageAtCreation, 0x0C07);
}

TEST_F(ApplicationRun, EndsWhenNoWindowComesUp)
{
    EXPECT_EQ(Run([] { return std::unique_ptr<QDialog>(); }), 0);
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
}

} // namespace
} // namespace vistrel
