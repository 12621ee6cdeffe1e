#include "controls/CXLabel.h"

#include "Pixels.h"
#include "support/CaseName.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace vistrel {
namespace {

using test::PrintTo; // cases print as their names

using test::BoundsOf;
using test::Contains;
using test::Grab;
using test::PixelAt;

const QColor kInk(200, 20, 20);
const QColor kPaper(250, 240, 60);
const QColor kEmboss(20, 20, 220);

void BigBold(CXLabel& label)
{
    label.SetPointSize(20).SetBold(true);
}

// ---- gradient

struct GradientCase {
    int width;
    QColor left, right;
    int bandWidth;        // every band but the last
    int lastBandLeft;     // where the last band starts
    int lastBandValue;    // red component of the last band
};

void PrintTo(const GradientCase& c, std::ostream* os)
{
    *os << c.width << " px from " << c.left.name().toStdString() << " to " << c.right.name().toStdString()
        << ", bands of " << c.bandWidth << " px";
}

class LabelGradient : public ::testing::TestWithParam<GradientCase> {};

TEST_P(LabelGradient, FillsBandsOfIntegerSteps)
{
    const GradientCase& c = GetParam();
    CXLabel label;
    label.resize(c.width, 12);
    label.SetBackground(c.left, c.right, true);
    const QImage image = Grab(label);

    const int bands = std::min(c.width, 100);
    const int step = ((c.right.red() - c.left.red()) * 256) / bands;
    for (int band = 0; band < bands - 1; ++band) {
        const int expected = (c.left.red() * 256 + band * step) / 256;
        for (int x = band * c.bandWidth; x < (band + 1) * c.bandWidth; ++x)
            ASSERT_EQ(PixelAt(image, x, 6).red(), expected) << "band " << band << " x " << x;
    }
    for (int x = c.lastBandLeft; x < c.width; ++x)
        ASSERT_EQ(PixelAt(image, x, 6).red(), c.lastBandValue) << "x " << x;
    ASSERT_NE(PixelAt(image, c.lastBandLeft - 1, 6).red(), c.lastBandValue);
    // Bands fill the full height.
    EXPECT_EQ(PixelAt(image, 0, 0), PixelAt(image, 0, 11));
}

INSTANTIATE_TEST_SUITE_P(Widths, LabelGradient,
    ::testing::Values(
        // 250 px: 99 bands of 2 px, the last from 198 to the edge; 255 * 256 / 100 = 652 a band.
        GradientCase {250, QColor(0, 0, 0), QColor(255, 255, 255), 2, 198, 99 * 652 / 256},
        // 100 px, same colours: band 99 has 252.
        GradientCase {100, QColor(0, 0, 0), QColor(255, 255, 255), 1, 99, 252},
        // 50 px: 50 bands of 1 px.
        GradientCase {50, QColor(0, 0, 0), QColor(255, 255, 255), 1, 49, 49 * (255 * 256 / 50) / 256},
        // Falling colours: the step is negative and truncates toward zero.
        GradientCase {250, QColor(255, 0, 0), QColor(0, 0, 0), 2, 198, (255 * 256 - 99 * 652) / 256}),
    [](const auto& info) { return "w" + std::to_string(info.param.width) + "_" + std::to_string(info.index); });

TEST(LabelGradientColours, EachComponentStepsOnItsOwn)
{
    CXLabel label;
    label.resize(100, 10);
    label.SetBackground(QColor(10, 200, 30), QColor(210, 0, 130), true);
    const QImage image = Grab(label);
    // step red 512, green -512, blue 256 per band.
    EXPECT_EQ(PixelAt(image, 0, 5), QColor(10, 200, 30));
    EXPECT_EQ(PixelAt(image, 50, 5), QColor(110, 100, 80));
    EXPECT_EQ(PixelAt(image, 99, 5), QColor(208, 2, 129));
}

TEST(LabelBackground, SolidOwnBrushOrTheButtonFace)
{
    CXLabel label;
    label.resize(60, 20);
    EXPECT_EQ(PixelAt(Grab(label), 1, 1).rgb(), label.palette().color(QPalette::Button).rgb());
    label.SetBackground(kPaper);
    EXPECT_EQ(PixelAt(Grab(label), 1, 1), kPaper);
    // A gradient drops the own brush; the thin border keeps the fill inside it.
    label.SetThinBorder(true).SetBackground(QColor(0, 0, 0), QColor(255, 255, 255), true);
    const QImage framed = Grab(label);
    EXPECT_EQ(PixelAt(framed, 1, 10), QColor(0, 0, 0));
    EXPECT_EQ(PixelAt(framed, 0, 10).rgb(), label.palette().color(QPalette::Shadow).rgb());
}

// ---- text, blinking, emboss

TEST(LabelBlink, TextVanishesInTheOffPhaseIntoTheOwnBackgroundOrBlack)
{
    for (bool ownBackground : {false, true}) {
        SCOPED_TRACE(ownBackground ? "own background" : "face background");
        CXLabel label("HH");
        label.resize(120, 50);
        BigBold(label);
        label.SetForeground(kInk);
        if (ownBackground)
            label.SetBackground(kPaper);
        label.BlinkText(true);

        const auto* timer = label.findChild<QTimer*>(QStringLiteral("blinkTimer"));
        ASSERT_NE(timer, nullptr);
        EXPECT_TRUE(timer->isActive());
        EXPECT_EQ(timer->interval(), 500);

        const QImage off = Grab(label);
        EXPECT_FALSE(Contains(off, kInk));
        EXPECT_EQ(Contains(off, QColor(0, 0, 0)), !ownBackground);
        label.BlinkTick();
        const QImage on = Grab(label);
        EXPECT_TRUE(Contains(on, kInk));
        EXPECT_FALSE(Contains(on, QColor(0, 0, 0)));
        label.BlinkTick();
        EXPECT_FALSE(Contains(Grab(label), kInk));

        label.BlinkText(false);
        EXPECT_FALSE(timer->isActive());
        EXPECT_TRUE(Contains(Grab(label), kInk));
    }
}

TEST(LabelBlink, TheTimerDrivesThePhase)
{
    CXLabel label("HH");
    label.BlinkText(true);
    auto* timer = label.findChild<QTimer*>(QStringLiteral("blinkTimer"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(label.BlinkPhase(), 0);
    QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);   // one period
    EXPECT_EQ(label.BlinkPhase(), 1);
    // Starting again restarts in the off phase.
    label.BlinkBackground(true);
    EXPECT_EQ(label.BlinkPhase(), 0);
    EXPECT_TRUE(timer->isActive());
    label.BlinkBackground(false);
    EXPECT_FALSE(timer->isActive());
}

TEST(LabelBlink, ABlinkingBackgroundShowsTheFaceInTheOffPhase)
{
    CXLabel label;
    label.resize(40, 20);
    label.SetBackground(kPaper).BlinkBackground(true);
    EXPECT_EQ(PixelAt(Grab(label), 5, 5).rgb(), label.palette().color(QPalette::Button).rgb());
    label.BlinkTick();
    EXPECT_EQ(PixelAt(Grab(label), 5, 5), kPaper);
}

TEST(LabelEmboss, TheCopyIsOffsetByOnePixelOutwardOrInward)
{
    for (bool raised : {true, false}) {
        CXLabel label("HH");
        label.resize(120, 50);
        BigBold(label);
        label.SetForeground(kInk).SetBackground(kPaper).SetTextStyle(Qt::AlignHCenter, true, false);
        const QRect plain = BoundsOf(Grab(label), kInk);
        ASSERT_FALSE(plain.isNull());
        label.SetEmbossColour(kEmboss).SetEmbossed(true, raised);
        const QRect copy = BoundsOf(Grab(label), kEmboss);
        const int offset = raised ? 1 : -1;
        EXPECT_EQ(copy, plain.translated(offset, offset)) << (raised ? "raised" : "sunk");
    }
}

struct AlignmentCase {
    const char* name;
    Qt::Alignment horizontal;
    bool wordWrap;
    bool centreImage;
    const char* text;
    // expectations on the text's bounds inside a 200 x 80 label
    enum Horizontal { Left, Centre, Right } where;
    bool verticallyCentred;
    int lines;
};

class LabelAlignment : public ::testing::TestWithParam<AlignmentCase> {};

TEST_P(LabelAlignment, FollowsTheStaticStyle)
{
    const AlignmentCase& c = GetParam();
    CXLabel label(QString::fromUtf8(c.text));
    label.resize(200, 80);
    label.SetForeground(kInk).SetBackground(kPaper).SetPointSize(12).SetBold(true);
    label.SetTextStyle(c.horizontal, c.wordWrap, c.centreImage);
    const QRect bounds = BoundsOf(Grab(label), kInk);
    ASSERT_FALSE(bounds.isNull());

    const QFontMetrics metrics(label.LabelFont());
    const int lineHeight = metrics.lineSpacing();
    switch (c.where) {
    case AlignmentCase::Left: EXPECT_LT(bounds.left(), 4); break;
    case AlignmentCase::Right: EXPECT_GT(bounds.right(), 195); break;
    case AlignmentCase::Centre: EXPECT_NEAR(bounds.center().x(), 100, 3); break;
    }
    if (c.verticallyCentred)
        EXPECT_NEAR(bounds.center().y(), 40, 3);
    else
        EXPECT_LT(bounds.top(), lineHeight / 2);
    EXPECT_NEAR(bounds.height(), (c.lines - 1) * lineHeight + metrics.capHeight(), 3) << "lines " << c.lines;
}

INSTANTIATE_TEST_SUITE_P(Styles, LabelAlignment,
    ::testing::Values(
        AlignmentCase {"left", Qt::AlignLeft, true, false, "HH", AlignmentCase::Left, false, 1},
        AlignmentCase {"right", Qt::AlignRight, true, false, "HH", AlignmentCase::Right, false, 1},
        AlignmentCase {"centre", Qt::AlignHCenter, true, false, "HH", AlignmentCase::Centre, false, 1},
        AlignmentCase {"leftWraps", Qt::AlignLeft, true, false, "HHHH HHHH HHHH HHHH HHHH HHHH", AlignmentCase::Left, false, 2},
        AlignmentCase {"leftNoWrap", Qt::AlignLeft, false, false, "HHHH HHHH HHHH HHHH HHHH HHHH", AlignmentCase::Left, false, 1},
        AlignmentCase {"centreImageOneLine", Qt::AlignLeft, true, true, "HH\nHH", AlignmentCase::Centre, true, 1},
        AlignmentCase {"centreImageBreak", Qt::AlignLeft, true, true, "HH\r\nHH", AlignmentCase::Centre, false, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LabelSeeThrough, LeavesWhatLiesBehindVisible)
{
    QWidget parent;
    parent.resize(100, 40);
    parent.setAutoFillBackground(true);
    QPalette behind = parent.palette();
    behind.setColor(QPalette::Window, QColor(0, 128, 0));
    parent.setPalette(behind);
    auto* label = new CXLabel("HH", &parent);
    label->setGeometry(0, 0, 100, 40);
    BigBold(*label);
    label->SetForeground(kInk).SetBackground(kPaper);
    EXPECT_EQ(PixelAt(Grab(parent), 1, 1), kPaper);
    label->SetSeeThrough(true);
    const QImage image = Grab(parent);
    EXPECT_EQ(PixelAt(image, 1, 1), QColor(0, 128, 0));
    EXPECT_TRUE(Contains(image, kInk));
}

TEST(LabelAngle, CentredRotatedTextStandsUpright)
{
    CXLabel label("HHHHHH");
    label.resize(120, 120);
    label.SetForeground(kInk).SetBackground(kPaper).SetPointSize(14).SetBold(true);
    const QRect flat = BoundsOf(Grab(label), kInk);
    label.SetAngle(90, true);
    EXPECT_EQ(label.GetLogFont().escapement, 900);
    const QRect turned = BoundsOf(Grab(label), kInk);
    ASSERT_FALSE(turned.isNull());
    EXPECT_GT(flat.width(), flat.height());
    EXPECT_GT(turned.height(), turned.width());
    EXPECT_NEAR(turned.center().y(), 60, 3);
}

// ---- font description

TEST(LabelFont, SetFaceCutsLongNamesToThirtyOneCharacters)
{
    const QString longName = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn");   // 40
    ASSERT_EQ(longName.size(), 40);
    CXLabel label;
    label.SetFace(longName, 2);
    const LogFont& font = label.GetLogFont();
    EXPECT_EQ(FaceName(font), longName.left(31));
    EXPECT_EQ(font.faceName[31], u'\0');
    EXPECT_EQ(font.charSet, 2);

    // Never half a surrogate pair; a short name clears what a longer one left behind.
    const QString emoji = QString(30, QLatin1Char('x')) + QString::fromUtf8("\xF0\x9F\x98\x80");
    label.SetFace(emoji);
    EXPECT_EQ(FaceName(label.GetLogFont()), QString(30, QLatin1Char('x')));
    label.SetFace(QStringLiteral("Serif"));
    EXPECT_EQ(FaceName(label.GetLogFont()), QStringLiteral("Serif"));
    for (int i = 5; i < LogFont::kFaceUnits; ++i)
        EXPECT_EQ(label.GetLogFont().faceName[i], u'\0');
}

TEST(LabelFont, SetLogFontTerminatesAnUnterminatedName)
{
    LogFont description;
    std::fill(std::begin(description.faceName), std::end(description.faceName), u'Z');
    description.height = -30;
    CXLabel label;
    label.SetLogFont(description);
    EXPECT_EQ(FaceName(label.GetLogFont()), QString(31, QLatin1Char('Z')));
    EXPECT_EQ(label.LabelFont().pixelSize(), 30);
}

TEST(LabelFont, PointSizeBoldItalicUnderlineReachTheFont)
{
    CXLabel label;
    label.SetFace(QStringLiteral("DejaVu Serif"));
    label.SetPointSize(20).SetBold(true).SetItalic(true).SetUnderlined(true);
    const LogFont& font = label.GetLogFont();
    const int pixels = (200 * label.logicalDpiY() + 360) / 720;
    EXPECT_EQ(font.height, -pixels);
    EXPECT_EQ(font.weight, 700);
    EXPECT_EQ(FaceName(font), QStringLiteral("DejaVu Serif"));
    const QFont made = label.LabelFont();
    EXPECT_EQ(made.pixelSize(), pixels);
    EXPECT_EQ(made.weight(), QFont::Bold);
    EXPECT_TRUE(made.italic());
    EXPECT_TRUE(made.underline());
    EXPECT_EQ(made.family(), QStringLiteral("DejaVu Serif"));
    label.SetBold(false);
    EXPECT_EQ(label.LabelFont().weight(), QFont::Normal);
}

TEST(LabelFont, StartsFromTheWidgetFontAndFollowsItUntilChanged)
{
    QWidget parent;
    QFont parentFont = parent.font();
    parentFont.setPixelSize(17);
    parent.setFont(parentFont);
    auto* label = new CXLabel(&parent);
    EXPECT_EQ(label->GetLogFont().height, -17);
    parentFont.setPixelSize(19);
    parent.setFont(parentFont);
    EXPECT_EQ(label->GetLogFont().height, -19);
    label->SetBold(true);
    parentFont.setPixelSize(25);
    parent.setFont(parentFont);
    EXPECT_EQ(label->GetLogFont().height, -19);
}

TEST(LabelText, ShowTextChainsAndRedraws)
{
    CXLabel label;
    label.resize(100, 40);
    label.SetForeground(kInk).SetBackground(kPaper).SetPointSize(16).SetBold(true);
    EXPECT_FALSE(Contains(Grab(label), kInk));
    CXLabel& same = label.ShowText(QStringLiteral("HH"));
    EXPECT_EQ(&same, &label);
    EXPECT_EQ(label.Text(), QStringLiteral("HH"));
    EXPECT_TRUE(Contains(Grab(label), kInk));
}

// ---- clicks

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    std::vector<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened.push_back(url); }
};

class LabelClick : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* scheme : {"http", "https", "mailto", "file"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &catcher, "Open");
        label = new CXLabel(&parent);
        label->setGeometry(0, 0, 100, 30);
        label->setProperty("controlId", 1014);
    }
    void TearDown() override
    {
        for (const char* scheme : {"http", "https", "mailto", "file"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    void Click() { QTest::mouseClick(label, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10)); }

    UrlCatcher catcher;
    QWidget parent;
    CXLabel* label = nullptr;
};

TEST_F(LabelClick, AWebLinkOpensItsTargetOrItsOwnText)
{
    label->ShowText(QStringLiteral("www.example.org")).MakeWebLink(true);
    Click();
    ASSERT_EQ(catcher.opened.size(), 1u);
    EXPECT_EQ(catcher.opened[0], QUrl(QStringLiteral("http://www.example.org")));

    label->SetLinkTarget(QStringLiteral("https://tavrik.test/help"));
    Click();
    ASSERT_EQ(catcher.opened.size(), 2u);
    EXPECT_EQ(catcher.opened[1], QUrl(QStringLiteral("https://tavrik.test/help")));
}

TEST_F(LabelClick, AMailLinkOpensMailtoWithTheText)
{
    label->ShowText(QStringLiteral("scan@tavrik.test")).MakeMailLink(true);
    label->SetLinkTarget(QStringLiteral("https://ignored.test"));
    Click();
    ASSERT_EQ(catcher.opened.size(), 1u);
    EXPECT_EQ(catcher.opened[0], QUrl(QStringLiteral("mailto:scan@tavrik.test")));
}

TEST_F(LabelClick, NotifyingTheParentOpensNothing)
{
    label->ShowText(QStringLiteral("www.example.org")).MakeWebLink(true, true);
    QSignalSpy clicked(label, &CXLabel::LinkClicked);
    Click();
    ASSERT_EQ(clicked.count(), 1);
    EXPECT_EQ(clicked[0][0].toInt(), 1014);
    EXPECT_EQ(clicked[0][1].toInt(), 0x8200);
    EXPECT_TRUE(catcher.opened.empty());
}

TEST_F(LabelClick, WithoutALinkAClickDoesNothing)
{
    label->ShowText(QStringLiteral("www.example.org")).MakeWebLink(true).MakeWebLink(false);
    QSignalSpy clicked(label, &CXLabel::LinkClicked);
    Click();
    EXPECT_TRUE(catcher.opened.empty());
    EXPECT_EQ(clicked.count(), 0);
}

TEST(LabelCursor, TheHoverCursorIsShownOverTheLabel)
{
    CXLabel label;
    label.SetHoverCursor(QCursor(Qt::PointingHandCursor));
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
}

} // namespace
} // namespace vistrel

#include "LabelTest.moc"
