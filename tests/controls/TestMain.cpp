#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Pixel checks need the same platform and style everywhere, display or not.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
