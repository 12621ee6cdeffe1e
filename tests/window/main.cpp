// Widget tests run on the offscreen platform, with a private configuration folder.
#include "app/UiLanguage.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The per-user configuration store of these tests lives in a folder of their own.
    QTemporaryDir configHome;
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    QApplication app(argc, argv);
    vistrel::SetCurrentUiLanguage(vistrel::kLangIdEnglishUs);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
