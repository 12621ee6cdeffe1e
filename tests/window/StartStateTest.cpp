// The window as it starts: title, controls, the no-scanner state, focus, anchoring, minimum size.
#include "WindowFixture.h"

#include "window/StripView.h"

#include "controls/CButtonST.h"
#include "controls/CRoundButtonST.h"
#include "controls/CXLabel.h"
#include "window/DialogUnits.h"
#include "window/LayoutTable.h"
#include "window/PreviewSurface.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStyle>
#include <QTest>

namespace vistrel::test {
namespace {

TEST_F(WindowTest, StartsWithoutScannerInTheNoScannerState)
{
    Open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Tavrik Film Scanner"));
    EXPECT_FALSE(window->IsScannerAttached());
    EXPECT_FALSE(window->windowIcon().isNull());

    // Every control but the folder box, "...", Browse and the hidden chooser with its caption is disabled.
    for (const LayoutControl& row : ScannerWindowLayout().controls) {
        const bool usable = row.id == IdChooser || row.id == IdFolderBox || row.id == IdChooseFolder
            || row.id == IdChooserCaption || row.id == IdSaveCaption || row.id == IdBrowse;
        EXPECT_EQ(IsEnabled(row.id), usable) << row.id;
    }

    // The picture and the red text, centred in the picture area.
    auto* picture = Get<QLabel>(IdNoScannerPicture);
    auto* text = Get<CXLabel>(IdNoScannerText);
    EXPECT_TRUE(picture->isVisible());
    EXPECT_FALSE(picture->pixmap().isNull());
    EXPECT_TRUE(text->isVisible());
    EXPECT_EQ(text->Text(), QStringLiteral("Please connect to scanner"));
    // 20 points: the character height in pixels at the screen's resolution.
    EXPECT_EQ(text->GetLogFont().height, -MulDiv(20, text->logicalDpiY(), 72));
    const QRect preview = window->Control(IdPreview)->geometry();
    EXPECT_NEAR(text->geometry().center().x(), preview.center().x(), 2);
    EXPECT_TRUE(preview.contains(picture->geometry()));

    // The red text is drawn in the no-scanner colour.
    const QImage shot = text->grab().toImage();
    bool red = false;
    for (int y = 0; y < shot.height() && !red; ++y) {
        for (int x = 0; x < shot.width() && !red; ++x)
            red = shot.pixel(x, y) == qRgb(244, 67, 54);
    }
    EXPECT_TRUE(red);

    // Slide, Standard, 135 and JPG checked; neither Default nor Custom.
    for (int id : {IdSlide, IdStandard, IdFilm135, IdJpg})
        EXPECT_TRUE(IsChecked(id)) << id;
    for (int id : {IdNegative, IdBlackWhite, IdHigh, IdFilm126, IdTiff, IdDefault, IdCustom})
        EXPECT_FALSE(IsChecked(id)) << id;

    // Hidden in the layout: the status, the chooser and its caption, the spare button.
    for (int id : {IdStatus, IdChooser, IdChooserCaption, IdHiddenDefault})
        EXPECT_TRUE(window->Control(id)->isHidden()) << id;
    EXPECT_EQ(Get<QComboBox>(IdChooser)->count(), 8);
    EXPECT_EQ(Get<QComboBox>(IdChooser)->itemText(3), QStringLiteral("German"));
}

TEST_F(WindowTest, FocusWaitsForTheFirstThumbnail)
{
    Open();
    // Without a scanner the thumbnail is disabled; the window keeps the focus, the folder box does not get it.
    EXPECT_NE(window->focusWidget(), window->Control(IdFolderBox));
    const std::string scanner = AddScanner();
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(window->IsScannerAttached());
    EXPECT_EQ(window->focusWidget(), window->Control(IdFirstThumbnail));
}

TEST_F(WindowTest, FocusIsOnTheFirstThumbnailWhenStartedWithAScanner)
{
    AddScanner();
    Open();
    EXPECT_EQ(window->focusWidget(), window->Control(IdFirstThumbnail));
    EXPECT_EQ(QApplication::focusWidget(), window->Control(IdFirstThumbnail));
}

TEST_F(WindowTest, ControlsSitAtTheirDialogUnitPlaces)
{
    Open();
    const DialogBaseUnits base = window->BaseUnits();
    EXPECT_EQ(window->size(), DialogUnitsToPixels(QSize(751, 464), base));
    for (int id : {3000, 1001, 3027, 1002, 3022, 1008, 3024, 3006, 1016, 3009, 1015}) {
        const LayoutControl* row = ScannerWindowLayout().Find(id);
        EXPECT_EQ(window->Control(id)->geometry(), DialogUnitsToPixels(row->units, base)) << id;
    }
    // Ids and names for everyone who looks the controls up.
    EXPECT_EQ(window->Control(3000)->property("controlId").toInt(), 3000);
    EXPECT_EQ(window->Control(3000)->objectName(), QStringLiteral("id3000"));
    // The kinds the window is built from.
    EXPECT_NE(window->ControlAs<CRoundButtonST>(IdScan), nullptr);
    EXPECT_NE(window->ControlAs<CRoundButtonST>(IdMirror), nullptr);
    EXPECT_NE(window->ControlAs<CButtonST>(IdFirstThumbnail), nullptr);
    EXPECT_EQ(window->ControlAs<CRoundButtonST>(IdFirstThumbnail), nullptr);
    EXPECT_NE(window->ControlAs<CXLabel>(IdPreview), nullptr);
    EXPECT_EQ(window->ControlAs<QGroupBox>(IdStripFrame)->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
}

TEST_F(WindowTest, ThumbnailsSitSideBySideWithoutGaps)
{
    Open();
    for (int i = 1; i < 12; ++i) {
        const QRect left = window->Control(IdFirstThumbnail + i - 1)->geometry();
        const QRect right = window->Control(IdFirstThumbnail + i)->geometry();
        EXPECT_EQ(right.left(), left.right() + 1) << i;
        EXPECT_EQ(right.size(), left.size());
        EXPECT_EQ(right.top(), left.top());
    }
}

TEST_F(WindowTest, WithoutAScannerThePicturesKeepTheirColoursAndTheStillsStayVisible)
{
    const std::string scanner = AddScanner();
    Open();
    const StillFormat format = window->Engine().CurrentStillFormat();
    Deliver(JpegStill(format.width, format.height));
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(window->Strip().Strip().Selection(), 0);
    const QImage thumbnailBefore = window->Control(IdFirstThumbnail)->grab().toImage();
    Unplug(scanner);
    ASSERT_FALSE(IsEnabled(IdNoScannerPicture));
    ASSERT_FALSE(IsEnabled(IdImageView));

    // The no-scanner artwork as drawn, not greyed.
    QWidget* art = window->Control(IdNoScannerPicture);
    const QImage artShot = art->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage artwork = Get<QLabel>(IdNoScannerPicture)->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    const QPoint artOrigin((art->width() - artwork.width()) / 2, (art->height() - artwork.height()) / 2);
    int same = 0;
    int opaque = 0;
    for (int y = 0; y < artwork.height(); ++y) {
        for (int x = 0; x < artwork.width(); ++x) {
            if (qAlpha(artwork.pixel(x, y)) != 255)
                continue;
            ++opaque;
            same += artShot.pixel(artOrigin + QPoint(x, y)) == (artwork.pixel(x, y) | 0xff000000u);
        }
    }
    EXPECT_GT(opaque, 0);
    EXPECT_GT(same, opaque * 9 / 10);

    // The image view keeps the picture; the thumbnail shows it dimmed, the empty ones stay placeholders.
    const QImage view = window->Control(IdImageView)->grab().toImage();
    const QColor middle = view.pixelColor(view.width() * 3 / 4, view.height() * 3 / 4);
    EXPECT_NEAR(middle.red(), 200, 12);
    EXPECT_NEAR(middle.green(), 120, 12);
    EXPECT_NEAR(middle.blue(), 40, 12);
    const QImage thumbnail = window->Control(IdFirstThumbnail)->grab().toImage();
    const QColor dimmed = thumbnail.pixelColor(thumbnail.width() * 3 / 4, thumbnail.height() * 3 / 4);
    EXPECT_GT(dimmed.red(), dimmed.blue() + 30) << "the captured picture is gone from its thumbnail";
    EXPECT_NE(thumbnail, thumbnailBefore);   // and it looks disabled
}

TEST_F(WindowTest, CommandButtonsLightUpOrange)
{
    Open();
    for (int id : {IdScan, IdBrowse, IdMirror, IdRotate, IdDelete, IdSave}) {
        auto* button = window->ControlAs<CRoundButtonST>(id);
        EXPECT_EQ(button->GetColor(CButtonST::HotBack), QColor(255, 128, 0)) << id;
        // The 3-D light colour: lighter than the button face.
        EXPECT_GT(button->GetColor(CButtonST::NormalBack).lightness(),
                  window->palette().color(QPalette::Button).lightness())
            << id;
    }
}

TEST_F(WindowTest, EnlargingKeepsTheRightColumnAtTheEdgeAndTheStripCentred)
{
    Open();
    const QSize start = window->size();
    std::map<int, QRect> before;
    for (int id : std::initializer_list<int>{IdScan, 3027, IdImageView, IdFolderBox, IdPreview, IdStripFrame, IdFirstThumbnail, IdLastThumbnail,
                   3024, IdNoScannerPicture, IdNoScannerText, IdHiddenDefault})
        before[id] = window->Control(id)->geometry();

    const QSize grow(240, 120);
    window->resize(start + grow);
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(window->size(), start + grow);
    auto now = [this](int id) { return window->Control(id)->geometry(); };

    for (int id : std::initializer_list<int>{IdScan, 3027, IdImageView, IdFolderBox}) {   // right column: distance to the right edge kept
        EXPECT_EQ(now(id), before[id].translated(grow.width(), 0)) << id;
    }
    EXPECT_EQ(now(IdPreview), QRect(before[IdPreview].topLeft(), before[IdPreview].size() + grow));
    EXPECT_EQ(now(IdStripFrame), QRect(before[IdStripFrame].topLeft() + QPoint(0, grow.height()),
                                       before[IdStripFrame].size() + QSize(grow.width(), 0)));
    for (int id : std::initializer_list<int>{IdFirstThumbnail, IdLastThumbnail, 3024})   // centred, bottom distance kept
        EXPECT_EQ(now(id), before[id].translated(grow.width() / 2, grow.height())) << id;
    for (int id : {IdNoScannerPicture, IdNoScannerText})
        EXPECT_EQ(now(id), before[id].translated(grow.width() / 2, grow.height() / 2)) << id;
    EXPECT_EQ(now(IdHiddenDefault), before[IdHiddenDefault]);
    // The strip stays centred in its frame.
    const int stripCentre = (now(IdFirstThumbnail).left() + now(IdLastThumbnail).right()) / 2;
    EXPECT_NEAR(stripCentre, now(IdStripFrame).center().x(), 3);
    // The live picture surface covers the grown preview control.
    EXPECT_EQ(window->Surface().geometry(), QRect(QPoint(0, 0), now(IdPreview).size()));

    // Back to the start size: everything returns.
    window->resize(start);
    for (auto& [id, rect] : before)
        EXPECT_EQ(now(id), rect) << id;
}

TEST_F(WindowTest, RefusesToShrinkBelowItsFirstSize)
{
    Open();
    const QSize first = window->size();
    EXPECT_EQ(window->MinTrackSize(), first);
    EXPECT_EQ(window->minimumSize(), first);
    window->resize(first - QSize(100, 50));
    EXPECT_EQ(window->size(), first);
    window->resize(first.width() + 50, first.height() - 80);
    EXPECT_EQ(window->size(), QSize(first.width() + 50, first.height()));
    // The minimum is taken once: growing does not raise it.
    window->resize(first + QSize(300, 300));
    EXPECT_EQ(window->minimumSize(), first);
}

} // namespace
} // namespace vistrel::test

namespace vistrel::test {
namespace {

TEST_F(WindowTest, MinimizedWindowShowsItsIconCentred)
{
    Open();
    window->showMinimized();
    ASSERT_TRUE(window->isMinimized());
    // What the window paints itself (its controls paint themselves).
    QImage shot(window->size(), QImage::Format_RGB32);
    window->render(&shot, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    const QRgb background = window->palette().color(QPalette::Window).rgb();
    const int icon = window->style()->pixelMetric(QStyle::PM_LargeIconSize, nullptr, window.get());
    const QRect expected(QPoint((shot.width() - icon + 1) / 2, (shot.height() - icon + 1) / 2), QSize(icon, icon));
    // Everything outside the icon is plain background; the icon itself is drawn.
    QRect drawn;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (shot.pixel(x, y) != background)
                drawn |= QRect(x, y, 1, 1);
        }
    }
    ASSERT_FALSE(drawn.isEmpty());
    EXPECT_TRUE(expected.contains(drawn)) << drawn.x() << "," << drawn.y() << " " << drawn.width() << "x" << drawn.height();
    EXPECT_GT(drawn.width(), icon / 2);
}

} // namespace
} // namespace vistrel::test
