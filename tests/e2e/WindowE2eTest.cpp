// The built program on a virtual X server, with the simulated scanner, driven by real X input
// (xdotool) and looked at through screenshots (ImageMagick's import).
#include "E2eFixture.h"

namespace vistrel::test {
namespace {

TEST_F(WindowE2eTest, WindowRefusesToShrinkAndKeepsItsRightColumnWhenEnlarged)
{
    StartProgram(QString());
    const auto start = State();
    ASSERT_TRUE(start);
    const QSize first = XWindowSize();
    EXPECT_EQ(first, start->size);
    const QImage shot = WindowShot(*start, QStringLiteral("no-scanner"));
    // The red "Please connect to scanner" over the picture area.
    EXPECT_TRUE(start->At(NoScannerText).visible);
    EXPECT_GT(CountColour(shot.copy(start->At(NoScannerText).rect), qRgb(244, 67, 54), 24), 200);

    Resize(first - QSize(300, 200));
    // The window puts its size back; the X server then holds the first size again.
    ASSERT_TRUE(WaitFor([&] { return XWindowSize() == first; }, 10000)) << "size now " << XWindowSize().width()
                                                                        << "x" << XWindowSize().height();
    ASSERT_TRUE(WaitForState([&](const WindowState& s) { return s.size == first; }));

    const QSize grow(260, 140);
    Resize(first + grow);
    ASSERT_TRUE(WaitForState([&](const WindowState& s) { return s.size == first + grow; }))
        << "the window did not take the larger size";
    const auto large = State();
    for (int id : {Scan, AdjustGroup, Browse}) {
        const int before = start->size.width() - start->At(id).rect.right();
        const int after = large->size.width() - large->At(id).rect.right();
        EXPECT_EQ(after, before) << id;
    }
    EXPECT_EQ(large->At(Preview).rect.size(), start->At(Preview).rect.size() + grow);
    EXPECT_EQ(large->At(StripFrame).rect.width(), start->At(StripFrame).rect.width() + grow.width());
    const int stripMiddle = (large->At(FirstThumbnail).rect.left() + large->At(LastThumbnail).rect.right()) / 2;
    EXPECT_NEAR(stripMiddle, large->At(StripFrame).rect.center().x(), 3);
    WindowShot(*large, QStringLiteral("enlarged"));
}

TEST_F(WindowE2eTest, LivePictureFollowsTheSliderAndTheFilmType)
{
    StartProgram(QStringLiteral("scanner"));
    ASSERT_TRUE(WaitForState([](const WindowState& s) {
        return !s.At(NoScannerPicture).visible && s.At(Scan).enabled && s.At(Negative).checked;
    })) << "the scanner was not attached";
    auto state = State();
    const QImage before = LivePicture(*state);
    EXPECT_GT(DifferingShare(before, Black(before.size())), 0.5) << "no live picture";
    WindowShot(*state, QStringLiteral("scanner-negative"));

    // Five clicks on the brightness slider's channel near its right end: five pages up.
    const QRect slider = state->At(BrightnessSlider).rect.translated(state->origin);
    ClickAt(QPoint(slider.right() - 3, slider.center().y()), 5);
    const QImage brighter = SettledPicture(*state);
    EXPECT_GT(DifferingShare(before, brighter), 0.2);
    EXPECT_GT(MeanGrey(brighter), MeanGrey(before) + 10);
    WindowShot(*State(), QStringLiteral("scanner-brighter"));

    // Slide: the scanner stops inverting the picture.
    const QRect slide = state->At(Slide).rect.translated(state->origin);
    ClickAt(QPoint(slide.left() + 6, slide.center().y()));
    ASSERT_TRUE(WaitForState([](const WindowState& s) { return s.At(Slide).checked; }));
    const QImage positive = SettledPicture(*state);
    EXPECT_GT(DifferingShare(brighter, positive), 0.3);
    WindowShot(*State(), QStringLiteral("scanner-slide"));
}

TEST_F(WindowE2eTest, UnplugAndReplugDetachAndAttach)
{
    StartProgram(QStringLiteral("scanner"));
    ASSERT_TRUE(WaitForState([](const WindowState& s) { return s.At(Scan).enabled; }));
    // Slide before the unplug: the replug must come back in Negative.
    auto state = State();
    const QRect slide = state->At(Slide).rect.translated(state->origin);
    ClickAt(QPoint(slide.left() + 6, slide.center().y()));
    ASSERT_TRUE(WaitForState([](const WindowState& s) { return s.At(Slide).checked; }));

    Command("unplug");
    ASSERT_TRUE(WaitForState([](const WindowState& s) {
        return s.At(NoScannerPicture).visible && s.At(NoScannerText).visible && !s.At(Scan).enabled;
    })) << "the window did not notice the unplug";
    state = State();
    EXPECT_TRUE(state->At(Browse).enabled);
    const QImage unplugged = WindowShot(*state, QStringLiteral("unplugged"));
    EXPECT_GT(CountColour(unplugged.copy(state->At(NoScannerText).rect), qRgb(244, 67, 54), 24), 200);

    Command("plug");
    ASSERT_TRUE(WaitForState([](const WindowState& s) {
        return !s.At(NoScannerPicture).visible && s.At(Scan).enabled && s.At(Negative).checked;
    })) << "the window did not attach the replugged scanner";
    state = State();
    const QImage live = LivePicture(*state);
    EXPECT_GT(DifferingShare(live, Black(live.size())), 0.5);
    WindowShot(*state, QStringLiteral("replugged"));
}

} // namespace
} // namespace vistrel::test

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
