#include "controls/CCustomDrawSliderCtrl.h"

#include "Pixels.h"
#include "support/CaseName.h"

#include <QCursor>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

namespace vistrel {
namespace {

using test::PrintTo; // cases print as their names

using test::Grab;
using test::PixelAt;
using Code = CCustomDrawSliderCtrl::ScrollCode;
using Notification = std::pair<int, int>;   // code, position

std::vector<Notification> Notifications(const QSignalSpy& spy)
{
    std::vector<Notification> out;
    for (const auto& arguments : spy)
        out.emplace_back(arguments[0].toInt(), arguments[1].toInt());
    return out;
}

class Slider : public ::testing::Test
{
protected:
    void SetUp() override
    {
        slider = std::make_unique<CCustomDrawSliderCtrl>();
        slider->setRange(-100, 100);
        slider->setSingleStep(2);
        slider->setPageStep(10);
        slider->setValue(20);
        slider->resize(240, 30);
        slider->move(100, 100);
        slider->show();
        slider->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(slider.get()));
        slider->setFocus();
        QCursor::setPos(slider->mapToGlobal(QPoint(-50, -50)));
    }

    void PutCursorOnThumb() { QCursor::setPos(slider->mapToGlobal(slider->ThumbRect().center())); }

    std::unique_ptr<CCustomDrawSliderCtrl> slider;
};

TEST_F(Slider, TheFocusedSliderShowsAFocusFrame)
{
    ASSERT_TRUE(QTest::qWaitForWindowActive(slider.get()));
    ASSERT_TRUE(slider->hasFocus());
    const QImage focused = Grab(*slider);
    slider->clearFocus();
    const QImage unfocused = Grab(*slider);
    // The dotted frame runs round the whole control: far more pixels differ than a thumb edge would.
    int differing = 0;
    for (int y = 0; y < focused.height(); ++y)
        for (int x = 0; x < focused.width(); ++x)
            differing += focused.pixel(x, y) != unfocused.pixel(x, y);
    EXPECT_GT(differing, slider->width() / 2);
}

TEST(SliderColours, LighterAndDarkerAreHalfAgainAndHalfTheLuminance)
{
    const QColor lighter = CCustomDrawSliderCtrl::LighterColour();
    const QColor darker = CCustomDrawSliderCtrl::DarkerColour();
    EXPECT_NEAR(lighter.red(), 255, 1);
    EXPECT_NEAR(lighter.green(), 191, 1);
    EXPECT_NEAR(lighter.blue(), 128, 1);
    EXPECT_NEAR(darker.red(), 128, 1);
    EXPECT_NEAR(darker.green(), 64, 1);
    EXPECT_NEAR(darker.blue(), 0, 1);
}

struct ThumbCase {
    const char* name;
    bool enabled;
    bool cursorOnThumb;
    bool dragging;
    QColor expected;
};

class SliderThumb : public Slider, public ::testing::WithParamInterface<ThumbCase> {};

TEST_P(SliderThumb, IsOneFlatRectangleInTheColourOfItsState)
{
    const ThumbCase& c = GetParam();
    slider->setEnabled(c.enabled);
    if (c.cursorOnThumb)
        PutCursorOnThumb();
    slider->setSliderDown(c.dragging);

    const QImage image = Grab(*slider);
    const QRect thumb = slider->ThumbRect();
    ASSERT_FALSE(thumb.isEmpty());
    for (int y = thumb.top(); y <= thumb.bottom(); ++y)
        for (int x = thumb.left(); x <= thumb.right(); ++x)
            ASSERT_EQ(PixelAt(image, x, y), c.expected) << "at " << x << "," << y;
    // The groove outside the thumb is the style's, not ours.
    EXPECT_NE(PixelAt(image, 5, thumb.center().y()), c.expected);
}

INSTANTIATE_TEST_SUITE_P(States, SliderThumb,
    ::testing::Values(
        ThumbCase {"away", true, false, false, CCustomDrawSliderCtrl::PrimaryColour()},
        ThumbCase {"hovered", true, true, false, CCustomDrawSliderCtrl::DarkerColour()},
        ThumbCase {"dragged", true, true, true, CCustomDrawSliderCtrl::LighterColour()},
        ThumbCase {"draggedAway", true, false, true, CCustomDrawSliderCtrl::PrimaryColour()},
        ThumbCase {"disabled", false, false, false, QColor(160, 160, 160)},
        ThumbCase {"disabledHovered", false, true, false, QColor(160, 160, 160)},
        ThumbCase {"disabledDragged", false, true, true, QColor(160, 160, 160)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SliderThumbColour, IsOrangeOnAFreshSlider)
{
    EXPECT_EQ(CCustomDrawSliderCtrl::PrimaryColour(), QColor(255, 128, 0));
}

struct KeyCase {
    const char* name;
    Qt::Key key;
    int code;
    int position;   // from 20 in -100..100, line 2, page 10
};

class SliderKeys : public Slider, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(SliderKeys, ReportTheTrackbarCodeWithTheNewPositionThenEndTrack)
{
    const KeyCase& c = GetParam();
    QSignalSpy scroll(slider.get(), &CCustomDrawSliderCtrl::Scroll);
    QTest::keyClick(slider.get(), c.key);
    const std::vector<Notification> expected {{c.code, c.position}, {Code::EndTrack, c.position}};
    EXPECT_EQ(Notifications(scroll), expected);
    EXPECT_EQ(slider->value(), c.position);
}

INSTANTIATE_TEST_SUITE_P(Keys, SliderKeys,
    ::testing::Values(KeyCase {"home", Qt::Key_Home, Code::Top, -100},
                      KeyCase {"end", Qt::Key_End, Code::Bottom, 100},
                      KeyCase {"left", Qt::Key_Left, Code::LineUp, 18},
                      KeyCase {"right", Qt::Key_Right, Code::LineDown, 22},
                      KeyCase {"pageDown", Qt::Key_PageDown, Code::PageUp, 10},
                      KeyCase {"pageUp", Qt::Key_PageUp, Code::PageDown, 30}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Slider, ADragTracksThenReportsThePositionAndTheEnd)
{
    QSignalSpy scroll(slider.get(), &CCustomDrawSliderCtrl::Scroll);
    const QPoint grip = slider->ThumbRect().center();
    QTest::mousePress(slider.get(), Qt::LeftButton, Qt::NoModifier, grip);
    QTest::mouseMove(slider.get(), grip + QPoint(30, 0));
    QTest::mouseMove(slider.get(), grip + QPoint(60, 0));
    QTest::mouseRelease(slider.get(), Qt::LeftButton, Qt::NoModifier, grip + QPoint(60, 0));

    const std::vector<Notification> got = Notifications(scroll);
    ASSERT_GE(got.size(), 3u);
    const int final = slider->value();
    EXPECT_GT(final, 20);
    for (size_t i = 0; i + 2 < got.size(); ++i)
        EXPECT_EQ(got[i].first, Code::ThumbTrack);
    EXPECT_EQ(got[got.size() - 3].second, final);
    EXPECT_EQ(got[got.size() - 2], Notification(Code::ThumbPosition, final));
    EXPECT_EQ(got.back(), Notification(Code::EndTrack, final));
}

TEST_F(Slider, AClickOnTheChannelPagesAndEnds)
{
    QSignalSpy scroll(slider.get(), &CCustomDrawSliderCtrl::Scroll);
    const QPoint right(slider->width() - 5, slider->ThumbRect().center().y());
    QTest::mousePress(slider.get(), Qt::LeftButton, Qt::NoModifier, right);
    QTest::mouseRelease(slider.get(), Qt::LeftButton, Qt::NoModifier, right);

    const std::vector<Notification> got = Notifications(scroll);
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got.front(), Notification(Code::PageDown, 30));
    for (size_t i = 1; i + 1 < got.size(); ++i)   // a slow machine may let the page repeat
        EXPECT_EQ(got[i].first, Code::PageDown);
    EXPECT_EQ(got.back().first, Code::EndTrack);
}

} // namespace
} // namespace vistrel
