// Widget tests run on the offscreen platform unless a display is asked for.
#include "app/UiLanguage.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    vistrel::SetCurrentUiLanguage(vistrel::kLangIdEnglishUs);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
