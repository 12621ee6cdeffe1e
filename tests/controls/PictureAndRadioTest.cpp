#include "controls/StaticPicture.h"
#include "controls/WholeRadioButton.h"

#include "Pixels.h"

#include <QTest>

#include <gtest/gtest.h>

namespace vistrel {
namespace {

using test::Grab;
using test::PixelAt;

TEST(StaticPicture, IsDrawnUnchangedWhenDisabled)
{
    QImage art(24, 16, QImage::Format_RGB32);
    art.fill(QColor(230, 60, 20));
    for (int x = 0; x < 12; ++x)
        for (int y = 0; y < 16; ++y)
            art.setPixel(x, y, qRgb(20, 90, 230));
    StaticPicture picture;
    picture.setAlignment(Qt::AlignCenter);
    picture.resize(48, 40);
    picture.setPixmap(QPixmap::fromImage(art));
    const QImage enabled = Grab(picture);
    picture.setEnabled(false);
    const QImage disabled = Grab(picture);
    EXPECT_EQ(disabled, enabled);
    EXPECT_EQ(PixelAt(disabled, 24 - 12 + 2, 20), QColor(20, 90, 230));
    EXPECT_EQ(PixelAt(disabled, 24 + 8, 20), QColor(230, 60, 20));
}

TEST(WholeRadioButton, TakesTheClickAnywhereOnItsRectangle)
{
    QWidget parent;
    auto* first = new WholeRadioButton(QStringLiteral("A"), &parent);
    auto* second = new WholeRadioButton(QStringLiteral("B"), &parent);
    first->setGeometry(0, 0, 200, 20);
    second->setGeometry(0, 30, 200, 20);
    first->setChecked(true);
    parent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    // Far right of the rectangle, well past the indicator and the short text.
    QTest::mouseClick(second, Qt::LeftButton, {}, QPoint(second->width() - 3, second->height() / 2));
    EXPECT_TRUE(second->isChecked());
    EXPECT_FALSE(first->isChecked());
    QTest::mouseClick(first, Qt::LeftButton, {}, QPoint(first->width() - 3, 1));
    EXPECT_TRUE(first->isChecked());
}

} // namespace
} // namespace vistrel
