#include "controls/CButtonST.h"
#include "controls/CRoundButtonST.h"

#include "Pixels.h"
#include "support/CaseName.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QEnterEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

namespace vistrel {
namespace {

using test::PrintTo; // cases print as their names

using test::BoundsOf;
using test::Contains;
using test::Grab;
using test::PixelAt;

const QColor kHotBack(0, 200, 255);
const QColor kHotText(255, 0, 0);
const QColor kNormalBack(93, 93, 93);
const QColor kNormalText(0, 255, 0);
const QColor kFocusBack(243, 63, 247);
const QColor kFocusText(255, 255, 0);
const QColor kLight(250, 250, 210);
const QColor kShadow(20, 40, 160);
const QColor kRed(200, 30, 30);

void SetAllColours(CButtonST& button)
{
    button.SetColor(CButtonST::HotBack, kHotBack);
    button.SetColor(CButtonST::HotText, kHotText);
    button.SetColor(CButtonST::NormalBack, kNormalBack);
    button.SetColor(CButtonST::NormalText, kNormalText);
    button.SetColor(CButtonST::FocusBack, kFocusBack);
    button.SetColor(CButtonST::FocusText, kFocusText);
}

void UseBigFont(QWidget& widget)
{
    QFont font = widget.font();
    font.setPixelSize(22);
    font.setBold(true);
    widget.setFont(font);
}

void SetEdgeColours(QWidget& widget)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Light, kLight);
    palette.setColor(QPalette::Dark, kShadow);
    widget.setPalette(palette);
}

void Enter(QWidget& widget)
{
    const QPointF inside(widget.width() / 2.0, widget.height() / 2.0);
    QEnterEvent enter(inside, inside, widget.mapToGlobal(inside));
    QApplication::sendEvent(&widget, &enter);
}

void Leave(QWidget& widget)
{
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&widget, &leave);
}

void MoveInside(QWidget& widget, Qt::MouseButtons held)
{
    const QPointF inside(widget.width() / 2.0, widget.height() / 2.0);
    QMouseEvent move(QEvent::MouseMove, inside, widget.mapToGlobal(inside), Qt::NoButton, held, Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
}

// An image whose every pixel has its own colour, so any shift or crop shows.
QImage Fingerprint(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(10 + x * 3, 10 + y * 3, 120));
    return image;
}

// A shown, active window holding buttons, so that focus is real.
class ButtonWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->setGeometry(0, 0, 300, 200);
        // The pointer rests outside the window, so nothing is hovered by accident.
        QCursor::setPos(700, 500);
    }

    template <typename Button = CButtonST>
    Button* AddButton(const QString& caption, QRect geometry)
    {
        auto* button = new Button(window.get());
        button->setText(caption);
        button->setGeometry(geometry);
        return button;
    }

    void ShowActive()
    {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    std::unique_ptr<QWidget> window;
};

// ---- colour slots and their precedence

struct PrecedenceCase {
    const char* name;
    bool hover;
    bool pressed;
    bool focus;
    QColor back;
    QColor text;
};

class ButtonPrecedence : public ButtonWindow, public ::testing::WithParamInterface<PrecedenceCase> {};

TEST_P(ButtonPrecedence, PaintsTheColourPairOfTheStrongestState)
{
    const PrecedenceCase& state = GetParam();
    auto* other = AddButton("other", {0, 150, 80, 30});
    auto* button = AddButton("HH", {10, 10, 120, 60});
    UseBigFont(*button);
    SetAllColours(*button);
    button->SetDrawBorder(false);
    ShowActive();
    (state.focus ? button : other)->setFocus();
    ASSERT_EQ(button->hasFocus(), state.focus);
    if (state.hover)
        Enter(*button);
    button->setDown(state.pressed);

    const QImage image = Grab(*button);
    EXPECT_EQ(PixelAt(image, 2, 2), state.back);
    EXPECT_TRUE(Contains(image, state.text)) << "caption colour " << state.text;
    for (QColor wrongText : {kHotText, kNormalText, kFocusText}) {
        if (wrongText != state.text) {
            EXPECT_FALSE(Contains(image, wrongText)) << wrongText;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(States, ButtonPrecedence,
    ::testing::Values(PrecedenceCase {"normal", false, false, false, kNormalBack, kNormalText},
                      PrecedenceCase {"focus", false, false, true, kFocusBack, kFocusText},
                      PrecedenceCase {"hover", true, false, false, kHotBack, kHotText},
                      PrecedenceCase {"pressed", false, true, false, kHotBack, kHotText},
                      PrecedenceCase {"hoverOverFocus", true, false, true, kHotBack, kHotText},
                      PrecedenceCase {"pressedOverFocus", false, true, true, kHotBack, kHotText}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ButtonColours, StartFromTheButtonFaceAndTextOfThePalette)
{
    CButtonST button;
    const QColor face = button.palette().color(QPalette::Button);
    const QColor text = button.palette().color(QPalette::ButtonText);
    for (auto slot : {CButtonST::HotBack, CButtonST::NormalBack, CButtonST::FocusBack})
        EXPECT_EQ(button.GetColor(slot), face);
    for (auto slot : {CButtonST::HotText, CButtonST::NormalText, CButtonST::FocusText})
        EXPECT_EQ(button.GetColor(slot), text);
}

TEST_F(ButtonWindow, ASystemPaletteChangeResetsEverySlot)
{
    const QPalette original = QApplication::palette();
    CButtonST& button = *AddButton("", {10, 10, 60, 30});
    SetAllColours(button);
    ShowActive();
    QPalette changed = original;
    changed.setColor(QPalette::Button, QColor(11, 22, 33));
    changed.setColor(QPalette::ButtonText, QColor(44, 55, 66));
    // A palette the window sets on itself is not a system change.
    QPalette windowPalette = window->palette();
    windowPalette.setColor(QPalette::Window, QColor(1, 2, 3));
    window->setPalette(windowPalette);
    EXPECT_EQ(button.GetColor(CButtonST::HotBack), kHotBack);

    QApplication::setPalette(changed);
    QCoreApplication::processEvents();
    const QColor back = button.GetColor(CButtonST::HotBack);
    const QColor text = button.GetColor(CButtonST::FocusText);
    const QColor normal = button.GetColor(CButtonST::NormalBack);
    QApplication::setPalette(original);
    QCoreApplication::processEvents();
    EXPECT_EQ(back, QColor(11, 22, 33));
    EXPECT_EQ(normal, QColor(11, 22, 33));
    EXPECT_EQ(text, QColor(44, 55, 66));
}

// ---- hover tracking

TEST_F(ButtonWindow, HoverLightsOnEntryAndGoesOutOnLeaveAndFocusLoss)
{
    auto* button = AddButton("", {10, 10, 100, 40});
    auto* other = AddButton("", {10, 100, 100, 40});
    SetAllColours(*button);
    ShowActive();
    button->setFocus();

    Enter(*button);
    EXPECT_EQ(PixelAt(Grab(*button), 5, 5), kHotBack);
    Leave(*button);
    EXPECT_FALSE(button->IsHovered());
    EXPECT_EQ(PixelAt(Grab(*button), 5, 5), kFocusBack);

    Enter(*button);
    ASSERT_TRUE(button->IsHovered());
    other->setFocus();
    EXPECT_FALSE(button->IsHovered());
    EXPECT_EQ(PixelAt(Grab(*button), 5, 5), kNormalBack);
}

TEST_F(ButtonWindow, ADragThatBeganElsewhereDoesNotLightTheButton)
{
    auto* button = AddButton("", {10, 10, 100, 40});
    SetAllColours(*button);
    ShowActive();

    MoveInside(*button, Qt::LeftButton);
    EXPECT_FALSE(button->IsHovered());
    EXPECT_NE(PixelAt(Grab(*button), 5, 5), kHotBack);

    MoveInside(*button, Qt::NoButton);
    EXPECT_TRUE(button->IsHovered());
    // Once lit, holding the button down keeps it lit.
    MoveInside(*button, Qt::LeftButton);
    EXPECT_TRUE(button->IsHovered());
}

// ---- frames

TEST(ButtonFrames, SunkenWhenPressedRaisedWhenHoveredOnlyWithDrawBorder)
{
    struct Case {
        bool drawBorder, hover, pressed;
        QColor topLeft, bottomRight;
    };
    const Case cases[] = {
        {true, false, true, kShadow, kLight},
        {true, true, false, kLight, kShadow},
        {true, true, true, kShadow, kLight},
        {true, false, false, kNormalBack, kNormalBack},
        {false, true, false, kHotBack, kHotBack},
        {false, false, true, kHotBack, kHotBack},
    };
    for (const Case& c : cases) {
        CButtonST button;
        button.resize(60, 30);
        SetEdgeColours(button);
        SetAllColours(button);
        button.SetDrawBorder(c.drawBorder);
        if (c.hover)
            Enter(button);
        button.setDown(c.pressed);
        const QImage image = Grab(button);
        SCOPED_TRACE(testing::Message() << "border " << c.drawBorder << " hover " << c.hover << " pressed " << c.pressed);
        EXPECT_EQ(PixelAt(image, 30, 0), c.topLeft);
        EXPECT_EQ(PixelAt(image, 0, 15), c.topLeft);
        EXPECT_EQ(PixelAt(image, 30, 29), c.bottomRight);
        EXPECT_EQ(PixelAt(image, 59, 15), c.bottomRight);
    }
}

TEST(RoundButton, RoundedBackgroundLeavesTheCornersToWhatLiesBehind)
{
    QWidget parent;
    parent.resize(100, 60);
    parent.setAutoFillBackground(true);
    QPalette behind = parent.palette();
    behind.setColor(QPalette::Window, QColor(255, 0, 255));
    parent.setPalette(behind);
    auto* button = new CRoundButtonST(&parent);
    button->setGeometry(10, 10, 80, 40);
    SetEdgeColours(*button);
    SetAllColours(*button);

    const QImage image = Grab(parent);
    EXPECT_EQ(PixelAt(image, 10, 10), QColor(255, 0, 255));      // outside the rounded corner
    EXPECT_EQ(PixelAt(image, 89, 49), QColor(255, 0, 255));
    EXPECT_EQ(PixelAt(image, 50, 10), kShadow);                   // outline, top edge
    EXPECT_EQ(PixelAt(image, 10, 30), kShadow);                   // outline, left edge
    EXPECT_EQ(PixelAt(image, 89, 30), kShadow);                   // outline, right edge
    EXPECT_EQ(PixelAt(image, 50, 49), kShadow);                   // outline, bottom edge
    EXPECT_EQ(PixelAt(image, 50, 30), kNormalBack);               // inside

    Enter(*button);
    const QImage hovered = Grab(parent);
    EXPECT_EQ(PixelAt(hovered, 50, 30), kHotBack);
    EXPECT_EQ(PixelAt(hovered, 50, 10), kShadow);
    EXPECT_EQ(PixelAt(hovered, 10, 10), QColor(255, 0, 255));
}

// ---- images

TEST(ButtonImage, PureBlackPixelsShowTheCurrentBackground)
{
    QImage bitmap(10, 10, QImage::Format_RGB32);
    bitmap.fill(kRed);
    bitmap.setPixel(5, 5, qRgb(0, 0, 0));
    bitmap.setPixel(6, 5, qRgb(1, 0, 0));   // nearly black stays opaque
    CButtonST button;
    button.resize(40, 30);
    SetAllColours(button);
    button.SetDrawBorder(false);
    ASSERT_EQ(button.SetBitmap(bitmap), CButtonST::ImageOk);

    // Centred without a caption: (40 - 10) / 2 = 15, (30 - 10) / 2 = 10.
    for (bool hover : {false, true}) {
        if (hover)
            Enter(button);
        const QImage image = Grab(button);
        EXPECT_EQ(PixelAt(image, 20, 15), hover ? kHotBack : kNormalBack);
        EXPECT_EQ(PixelAt(image, 21, 15), QColor(1, 0, 0));
        EXPECT_EQ(PixelAt(image, 15, 10), kRed);
        EXPECT_EQ(PixelAt(image, 14, 10), hover ? kHotBack : kNormalBack);
    }
}

TEST(ButtonImage, KeepsItsOwnCopyOfTheBitmap)
{
    QImage bitmap(10, 10, QImage::Format_RGB32);
    bitmap.fill(kRed);
    CButtonST button;
    button.resize(40, 30);
    button.SetBitmap(bitmap);
    bitmap.fill(Qt::blue);
    bitmap = QImage();
    EXPECT_EQ(PixelAt(Grab(button), 20, 15), kRed);
}

TEST(ButtonImage, PlacementCentresWithoutCaptionAndOverhangsEquallyWhenTooLarge)
{
    struct Case {
        QSize button;
        QSize image;
        QPoint expectedTopLeft;   // image pixel (0, 0) lands here
    };
    const Case cases[] = {
        {{40, 30}, {10, 10}, {15, 10}},
        {{41, 31}, {10, 10}, {15, 10}},
        {{40, 30}, {60, 50}, {-10, -10}},
        {{40, 30}, {61, 51}, {-10, -10}},   // halves round toward zero
    };
    for (const Case& c : cases) {
        CButtonST button;
        button.resize(c.button);
        const QImage image = Fingerprint(c.image.width(), c.image.height());
        button.SetBitmap(image);
        const QImage shot = Grab(button);
        SCOPED_TRACE(testing::Message() << "image " << c.image.width() << "x" << c.image.height());
        const QPoint sample = QPoint(c.button.width() / 2, c.button.height() / 2);
        const QPoint inImage = sample - c.expectedTopLeft;
        EXPECT_EQ(PixelAt(shot, sample.x(), sample.y()), QColor(image.pixel(inImage)));
    }
}

TEST(ButtonImage, WithACaptionTheImageSitsAtTheLeftMarginAndTheCaptionMovesRight)
{
    const QColor text(0, 255, 0);
    CButtonST withImage;
    CButtonST plain;
    for (CButtonST* button : {&withImage, &plain}) {
        button->resize(200, 40);
        button->setText("HH");
        UseBigFont(*button);
        SetAllColours(*button);
    }
    QImage bitmap(20, 16, QImage::Format_RGB32);
    bitmap.fill(kRed);
    withImage.SetBitmap(bitmap);

    const QImage shot = Grab(withImage);
    EXPECT_EQ(BoundsOf(shot, kRed), QRect(3, 12, 20, 16));
    // The caption is centred in what is left: it moves right by half of image width + margin.
    const QRect moved = BoundsOf(shot, text);
    const QRect centred = BoundsOf(Grab(plain), text);
    ASSERT_FALSE(centred.isNull());
    EXPECT_NEAR(moved.left() - centred.left(), (20 + 3) / 2, 1);
    EXPECT_EQ(moved.top(), centred.top());
}

TEST(ButtonImage, IconSizeComesFromThePixmapAndNoneLeavesAnEmptyButton)
{
    QPixmap icon(88, 62);
    icon.fill(kRed);
    CButtonST button;
    button.resize(100, 70);
    SetAllColours(button);
    ASSERT_EQ(button.SetIcon(icon), CButtonST::ImageOk);
    EXPECT_EQ(BoundsOf(Grab(button), kRed), QRect(6, 4, 88, 62));

    // A bitmap replaces the icon, and an empty icon clears the bitmap.
    QImage bitmap(10, 10, QImage::Format_RGB32);
    bitmap.fill(Qt::blue);
    button.SetBitmap(bitmap);
    EXPECT_FALSE(Contains(Grab(button), kRed));
    EXPECT_EQ(button.SetIcon(QPixmap()), CButtonST::ImageOk);
    EXPECT_FALSE(Contains(Grab(button), QColor(Qt::blue)));
    EXPECT_EQ(PixelAt(Grab(button), 50, 35), kNormalBack);
}

TEST(ButtonImage, ADisabledBitmapIsDimmedNotEmbossed)
{
    // A captured thumbnail stays recognisable: half its colour over the background; the hole stays clear.
    QImage bitmap(10, 10, QImage::Format_RGB32);
    bitmap.fill(kRed);
    bitmap.setPixel(5, 5, qRgb(0, 0, 0));
    CButtonST button;
    button.resize(40, 30);
    SetEdgeColours(button);
    SetAllColours(button);
    button.SetBitmap(bitmap);
    button.setEnabled(false);
    const QImage image = Grab(button);
    const QColor dimmed = PixelAt(image, 15, 10);
    EXPECT_NEAR(dimmed.red(), (kRed.red() + kNormalBack.red()) / 2, 3);
    EXPECT_NEAR(dimmed.green(), (kRed.green() + kNormalBack.green()) / 2, 3);
    EXPECT_NEAR(dimmed.blue(), (kRed.blue() + kNormalBack.blue()) / 2, 3);
    EXPECT_EQ(PixelAt(image, 20, 15), kNormalBack);
    EXPECT_FALSE(Contains(image, kShadow));
    EXPECT_FALSE(Contains(image, kLight));
}

TEST(ButtonImage, DisabledIconsAreEmbossed)
{
    // Red square with a 3 x 3 transparent hole at (4..6, 4..6) and white pixels at (0, 7) and (1, 8).
    QImage bitmap(10, 10, QImage::Format_RGB32);
    bitmap.fill(kRed);
    for (int y = 4; y <= 6; ++y)
        for (int x = 4; x <= 6; ++x)
            bitmap.setPixel(x, y, qRgb(0, 0, 0));
    bitmap.setPixel(0, 7, qRgb(255, 255, 255));
    bitmap.setPixel(1, 8, qRgb(255, 255, 255));
    QPixmap icon = QPixmap::fromImage(bitmap);
    {
        QImage withAlpha = bitmap.convertToFormat(QImage::Format_ARGB32);
        for (int y = 4; y <= 6; ++y)
            for (int x = 4; x <= 6; ++x)
                withAlpha.setPixel(x, y, 0u);
        icon = QPixmap::fromImage(withAlpha);
    }

    {
        CButtonST button;
        button.resize(40, 30);
        SetEdgeColours(button);
        SetAllColours(button);
        button.SetIcon(icon);
        button.setEnabled(false);
        const QImage image = Grab(button);
        const QPoint origin(15, 10);
        auto at = [&](int x, int y) { return PixelAt(image, origin.x() + x, origin.y() + y); };
        EXPECT_EQ(at(3, 3), kShadow);         // opaque colour: the shape
        EXPECT_EQ(at(4, 4), kLight);          // highlight of (3, 3) shows through the hole
        EXPECT_EQ(at(6, 6), kNormalBack);     // transparent, and so is (5, 5): nothing drawn
        EXPECT_EQ(at(1, 8), kNormalBack);     // white is not part of the shape
        EXPECT_EQ(at(10, 10), kLight);        // the highlight reaches one pixel past the image
        EXPECT_FALSE(Contains(image, kRed));
    }
}

TEST(ButtonImage, WithoutTheDisabledLookADisabledBitmapIsDrawnAsIs)
{
    QImage bitmap(10, 10, QImage::Format_RGB32);
    bitmap.fill(kRed);
    bitmap.setPixel(5, 5, qRgb(0, 0, 0));
    CButtonST button;
    button.resize(40, 30);
    SetAllColours(button);
    button.SetBitmap(bitmap);
    button.SetShowDisabledBitmap(false);
    button.setEnabled(false);
    const QImage image = Grab(button);
    EXPECT_EQ(PixelAt(image, 15, 10), kRed);
    EXPECT_EQ(PixelAt(image, 20, 15), kNormalBack);
}

// ---- pressed offset

TEST(ButtonPressed, ImageAndCaptionMoveByThePressedOffset)
{
    const QPoint offsets[] = {{1, 1}, {0, 0}, {3, 2}};
    for (QPoint offset : offsets) {
        SCOPED_TRACE(testing::Message() << "offset " << offset.x() << "," << offset.y());
        CButtonST button;
        button.resize(160, 50);
        button.setText("HH");
        UseBigFont(button);
        SetAllColours(button);
        button.SetColor(CButtonST::HotText, kNormalText);
        button.SetDrawBorder(false);
        QImage bitmap(12, 12, QImage::Format_RGB32);
        bitmap.fill(kRed);
        button.SetBitmap(bitmap);
        button.SetPressedOffset(offset.x(), offset.y());

        const QImage up = Grab(button);
        button.setDown(true);
        const QImage down = Grab(button);
        ASSERT_FALSE(BoundsOf(up, kNormalText).isNull());
        EXPECT_EQ(BoundsOf(down, kNormalText), BoundsOf(up, kNormalText).translated(offset));
        EXPECT_EQ(BoundsOf(down, kRed), BoundsOf(up, kRed).translated(offset));
    }
}

TEST(ButtonCaption, DisabledCaptionIsEmbossedAndALongCaptionWraps)
{
    CButtonST button;
    button.resize(160, 80);
    button.setText("HH");
    UseBigFont(button);
    SetEdgeColours(button);
    SetAllColours(button);
    button.setEnabled(false);
    const QImage image = Grab(button);
    const QRect light = BoundsOf(image, kLight);
    const QRect dark = BoundsOf(image, kShadow);
    ASSERT_FALSE(dark.isNull());
    EXPECT_EQ(light.bottomRight(), dark.bottomRight() + QPoint(1, 1));
    EXPECT_FALSE(Contains(image, kNormalText));

    button.setEnabled(true);
    const QRect oneLine = BoundsOf(Grab(button), kNormalText);
    button.setText("HH HH HH HH");
    const QRect wrapped = BoundsOf(Grab(button), kNormalText);
    EXPECT_GT(wrapped.height(), oneLine.height() * 2);
    EXPECT_LE(wrapped.width(), 160);
    // Centred both ways.
    EXPECT_NEAR(wrapped.center().x(), 80, 2);
    EXPECT_NEAR(wrapped.center().y(), 40, 3);
}

// ---- clicks, default button, focus

TEST(ButtonClicks, ADoubleClickGivesTwoClicks)
{
    const QPoint middle(40, 15);
    {
        // A platform that reports the second press only as a double-click.
        CButtonST button;
        button.resize(80, 30);
        QSignalSpy clicks(&button, &QAbstractButton::clicked);
        QTest::mouseClick(&button, Qt::LeftButton, Qt::NoModifier, middle);
        QTest::mouseDClick(&button, Qt::LeftButton, Qt::NoModifier, middle);
        QTest::mouseRelease(&button, Qt::LeftButton, Qt::NoModifier, middle);
        EXPECT_EQ(clicks.count(), 2);
    }
    {
        // Through the window system, which also reports the second press.
        CButtonST button;
        button.resize(80, 30);
        button.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
        QSignalSpy clicks(&button, &QAbstractButton::clicked);
        QTest::mouseDClick(button.windowHandle(), Qt::LeftButton, Qt::NoModifier, middle);
        EXPECT_EQ(clicks.count(), 2);
    }
}

TEST(ButtonClicks, EnterInADialogClicksTheDefaultButton)
{
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* edit = new QLineEdit(&dialog);
    auto* other = new CButtonST(&dialog);
    auto* scan = new CButtonST(&dialog);
    layout->addWidget(edit);
    layout->addWidget(other);
    layout->addWidget(scan);
    scan->SetDefault(true);
    QSignalSpy scanClicks(scan, &QAbstractButton::clicked);
    QSignalSpy otherClicks(other, &QAbstractButton::clicked);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(scanClicks.count(), 1);
    EXPECT_EQ(otherClicks.count(), 0);
}

TEST_F(ButtonWindow, DisablingMovesTheFocusToTheNextTabStopEvenWithoutHavingIt)
{
    auto* first = AddButton("1", {10, 10, 60, 30});
    auto* second = AddButton("2", {80, 10, 60, 30});
    auto* third = AddButton("3", {150, 10, 60, 30});
    ShowActive();

    third->setFocus();
    first->setEnabled(false);
    EXPECT_EQ(window->focusWidget(), second);

    second->setFocus();
    Enter(*second);
    second->setEnabled(false);
    EXPECT_EQ(window->focusWidget(), third);
    EXPECT_FALSE(second->IsHovered());

    // Disabled controls are skipped and the search wraps around.
    first->setEnabled(true);
    third->setEnabled(false);
    EXPECT_EQ(window->focusWidget(), first);
}

TEST_F(ButtonWindow, DisablingTheOnlyTabStopGivesTheFocusToTheParent)
{
    auto* panel = new QWidget(window.get());
    panel->setGeometry(0, 0, 200, 100);
    panel->setFocusPolicy(Qt::ClickFocus);
    auto* only = new CButtonST(panel);
    only->setGeometry(10, 10, 60, 30);
    auto* outside = AddButton("outside", {10, 150, 60, 30});
    ShowActive();
    outside->setFocus();
    only->setEnabled(false);
    EXPECT_EQ(window->focusWidget(), panel);
}

} // namespace
} // namespace vistrel
