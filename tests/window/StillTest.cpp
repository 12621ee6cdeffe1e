// Scan, the still's arrival, the time-out and the status indicator.
#include "WindowFixture.h"

#include "app/Localization.h"
#include "controls/CXLabel.h"
#include "window/NoticeLine.h"
#include "window/StripView.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

namespace vistrel::test {
namespace {

// Which of the two status colours the indicator's pixels show.
enum class Shown { Nothing, Blue, Red };

class StillTest : public WindowTest
{
protected:
    void OpenWithScanner(const sim::ScannerFaults& faults = {})
    {
        scanner = AddScanner(faults);
        Open();
        ASSERT_TRUE(window->IsScannerAttached());
        // The indicator is hidden in the layout; show it to look at it.
        window->Control(IdStatus)->show();
    }
    Shown StatusColour() const
    {
        const QImage shot = window->Control(IdStatus)->grab().toImage().convertToFormat(QImage::Format_RGB32);
        bool blue = false;
        bool red = false;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                blue = blue || shot.pixel(x, y) == qRgb(0, 122, 217);
                red = red || shot.pixel(x, y) == qRgb(255, 0, 0);
            }
        }
        EXPECT_FALSE(blue && red);
        return blue ? Shown::Blue : red ? Shown::Red : Shown::Nothing;
    }
    int StripCount() { return window->Strip().Strip().Count(); }
    std::string scanner;
};

TEST_F(StillTest, ArrivalsCountInBlueAndATimeOutShowsTheMissingNumberInRed)
{
    OpenWithScanner();
    const FrameBytes still = JpegStill();
    const struct
    {
        bool arrives;
        const char* text;
        Shown colour;
        int countAfter;
    } steps[] = {
        {true, "1", Shown::Blue, 1},
        {true, "2", Shown::Blue, 2},
        {false, "3", Shown::Red, 2},
        {true, "3", Shown::Blue, 3},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.text);
        window->OnScan();
        ASSERT_EQ(window->StillTimerId(), 1);
        ASSERT_TRUE(window->StillTimer().isActive());
        if (step.arrives)
            Deliver(still);
        else
            window->OnStillTimeout();   // the timer's expiry, driven directly
        EXPECT_EQ(window->StillTimerId(), 0);
        EXPECT_FALSE(window->StillTimer().isActive());
        EXPECT_EQ(TextOf(IdStatus), QLatin1String(step.text));
        EXPECT_EQ(StatusColour(), step.colour);
        EXPECT_EQ(window->StillCount(), step.countAfter);
        // The indicator stays hidden in the real layout: a missing still is told in the notice line.
        EXPECT_EQ(window->Notice().isVisible(), !step.arrives);
    }
    EXPECT_EQ(StripCount(), 3);
}

TEST_F(StillTest, ScanWithoutScannerOnlyMovesTheFocus)
{
    Open();
    window->Control(IdFolderBox)->setFocus();
    window->OnScan();
    EXPECT_NE(window->focusWidget(), window->Control(IdFolderBox));
    EXPECT_FALSE(window->StillTimer().isActive());
    EXPECT_TRUE(prompts->messages.empty());
}

TEST_F(StillTest, ScanTakesARealStillFromTheScanner)
{
    OpenWithScanner();
    Click(IdScan);
    EXPECT_EQ(window->focusWidget(), window->Control(IdFirstThumbnail));
    EXPECT_TRUE(window->StillTimer().isActive());
    ASSERT_TRUE(WaitFor([this] { return StripCount() == 1; }));
    EXPECT_FALSE(window->StillTimer().isActive());
    EXPECT_EQ(window->StillCount(), 1);
    const CapturedImage& entry = window->Strip().Strip().At(0);
    const StillFormat format = window->Engine().CurrentStillFormat();
    EXPECT_EQ(entry.frameWidth, format.width);
    EXPECT_EQ(entry.frameHeight, format.height);
    EXPECT_EQ(entry.filmType, 1);   // Negative, from the film-mode slot
    EXPECT_EQ(entry.filmSize, 0);
    EXPECT_EQ(std::size_t(entry.frameSize), entry.frameData->size());
    // The new entry becomes the selection.
    ASSERT_TRUE(WaitFor([this] { return window->Strip().Strip().Selection() == 0; }));
}

TEST_F(StillTest, EntryTakesTheSettingsInForceWhenItArrives)
{
    OpenWithScanner();
    Click(IdHigh);
    Click(IdBlackWhite);
    Deliver(JpegStill());
    Click(IdStandard);
    const CapturedImage& entry = window->Strip().Strip().At(0);
    EXPECT_EQ(entry.resolution, 1);
    EXPECT_EQ(entry.filmType, 2);
}

TEST_F(StillTest, FullStripRefusesScanWithTheMessage)
{
    OpenWithScanner();
    const FrameBytes still = JpegStill(64, 48);
    for (int i = 0; i < 12; ++i)
        Deliver(still);
    ASSERT_EQ(StripCount(), 12);
    window->OnScan();
    ASSERT_EQ(prompts->messages.size(), 1u);
    EXPECT_EQ(prompts->messages[0].text, LoadLocalizedText(IdsStripFull));
    EXPECT_EQ(prompts->messages[0].text, QStringLiteral("Image list space is full, please save image to disk"));
    EXPECT_EQ(prompts->messages[0].caption, QStringLiteral("vistrel"));
    EXPECT_FALSE(window->StillTimer().isActive());
}

TEST_F(StillTest, StillThatFindsTheStripFullIsDroppedUncounted)
{
    OpenWithScanner();
    const FrameBytes still = JpegStill(64, 48);
    for (int i = 0; i < 11; ++i)
        Deliver(still);
    window->OnScan();
    Deliver(still);   // the twelfth fits and ends the wait
    EXPECT_EQ(StripCount(), 12);
    EXPECT_EQ(window->StillCount(), 12);
    EXPECT_FALSE(window->StillTimer().isActive());
    // A still the scanner sends on its own now is dropped: nothing counted, nothing shown.
    Deliver(still);
    EXPECT_EQ(StripCount(), 12);
    EXPECT_EQ(window->StillCount(), 12);
    EXPECT_EQ(TextOf(IdStatus), QStringLiteral("12"));
}

TEST_F(StillTest, UnplugWhileAStillIsAwaitedStopsTheTimeOut)
{
    sim::ScannerFaults ignoring;
    ignoring.ignoreTrigger = true;
    OpenWithScanner(ignoring);
    Deliver(JpegStill());
    ASSERT_EQ(window->StillCount(), 1);
    Click(IdScan);
    ASSERT_TRUE(window->StillTimer().isActive());
    Unplug(scanner);
    ASSERT_FALSE(window->IsScannerAttached());
    EXPECT_FALSE(window->StillTimer().isActive());
    EXPECT_EQ(window->StillTimerId(), 0);
    EXPECT_EQ(window->StillCount(), 0);
    EXPECT_EQ(TextOf(IdStatus), QString());
}

TEST_F(StillTest, UndecodableOrHugeStillsAreRefusedWithAMessage)
{
    OpenWithScanner();
    window->OnScan();
    auto garbage = std::make_shared<const std::vector<std::uint8_t>>(std::vector<std::uint8_t>(4000, 0x5A));
    Deliver(garbage);
    // A JPEG header that claims 20000 x 20000 pixels (400 megapixels).
    const FrameBytes small = JpegStill(16, 16);
    std::vector<std::uint8_t> huge(small->begin(), small->end());
    for (std::size_t i = 0; i + 8 < huge.size(); ++i) {
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = 0x4E;   // height 0x4E20
            huge[i + 6] = 0x20;
            huge[i + 7] = 0x4E;   // width 0x4E20
            huge[i + 8] = 0x20;
            break;
        }
    }
    Deliver(std::make_shared<const std::vector<std::uint8_t>>(huge));
    EXPECT_EQ(StripCount(), 0);
    EXPECT_TRUE(window->Notice().isVisible());
    EXPECT_TRUE(window->Notice().text().contains(QStringLiteral("100 megapixels")));
    EXPECT_TRUE(prompts->messages.empty());   // never a modal box from the streaming path
    // The scanner did deliver, so the wait is over, but nothing is counted: the strip is unchanged.
    EXPECT_FALSE(window->StillTimer().isActive());
    EXPECT_EQ(window->StillCount(), 0);
}

TEST_F(StillTest, RefusedStillKeepsItsNoticePastTheTimeOut)
{
    // Only the refused still comes: the scanner sends none of its own.
    sim::ScannerFaults ignoring;
    ignoring.ignoreTrigger = true;
    OpenWithScanner(ignoring);
    window->OnScan();
    Deliver(std::make_shared<const std::vector<std::uint8_t>>(std::vector<std::uint8_t>(4000, 0x5A)));
    const QString refused = window->Notice().text();
    ASSERT_FALSE(refused.isEmpty());
    // Past the 2-second time-out: the notice is still the one about the damaged picture.
    QTest::qWait(2300);
    EXPECT_TRUE(window->Notice().isVisible());
    EXPECT_EQ(window->Notice().text(), refused);
    EXPECT_EQ(TextOf(IdStatus), QString());
}

// The still's own colours (the fixture's orange and blue) on the image view's top or bottom edge.
bool StillOnEdges(QWidget& view)
{
    const QImage shot = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (const int y : {0, shot.height() - 1}) {
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            const bool orange = c.red() > 150 && c.blue() < 90;
            const bool blue = c.blue() > 170 && c.red() < 80;
            if (orange || blue)
                return true;
        }
    }
    return false;
}

TEST_F(StillTest, TheImageViewsFrameStaysClearOfTheStillAfterSaveAndUnplug)
{
    OpenWithScanner();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QWidget& view = *window->Control(IdImageView);
    Deliver(JpegStill(640, 480));
    ASSERT_EQ(StripCount(), 1);
    EXPECT_FALSE(StillOnEdges(view)) << "the picture is drawn over the view's frame";

    window->ControlAs<QLineEdit>(IdFolderBox)->setText(folder.path());
    Click(IdSave);
    ASSERT_TRUE(WaitFor([this] { return !window->IsSaving() && StripCount() == 0; }));
    Unplug(scanner);
    QTest::qWait(50);
    EXPECT_FALSE(StillOnEdges(view));
}

TEST_F(StillTest, StillArrivingAfterTheTimeOutIsStillAdded)
{
    OpenWithScanner();
    window->OnScan();
    window->OnStillTimeout();
    Deliver(JpegStill());
    EXPECT_EQ(StripCount(), 1);
    EXPECT_EQ(window->StillCount(), 1);
}

} // namespace
} // namespace vistrel::test
