// The layout table as data, dialog-unit conversion and anchoring arithmetic.
#include "window/AnchorLayout.h"
#include "window/DialogUnits.h"
#include "window/LayoutTable.h"

#include "app/LanguageChoice.h"

#include <QApplication>
#include <QFontMetrics>

#include <gtest/gtest.h>

namespace vistrel {
namespace {

TEST(LayoutTable, EmbeddedLayoutHoldsEveryControlWithItsPlaceAndAnchor)
{
    const DialogLayout& layout = ScannerWindowLayout();
    EXPECT_EQ(layout.sizeUnits, QSize(751, 464));
    struct Row
    {
        int id;
        ControlKind kind;
        const char* text;
        QRect units;
        Anchor anchor;
        std::uint32_t flags;
    };
    const Row rows[] = {
        {3000, ControlKind::DefPushButton, "Scan", {521, 305, 55, 26}, {100, 0, 0, 0}, TabStop | DefaultButton},
        {1001, ControlKind::Static, "", {7, 7, 482, 299}, {0, 0, 100, 100}, Sunken},
        {3005, ControlKind::Radio, "Black && White", {145, 359, 65, 11}, {50, 100, 0, 0}, TabStop},
        {1012, ControlKind::Static, "Status", {235, 383, 178, 15}, {50, 100, 0, 0}, Centred | VCentred | Hidden},
        {1000, ControlKind::ComboBox, "", {166, 384, 48, 30}, {50, 100, 0, 0},
         DropDownList | VScroll | Unsorted | Hidden | TabStop},
        {1013, ControlKind::Picture, nullptr, {226, 126, 64, 59}, {50, 50, 0, 0}, ImageCentred | Transparent},
        {1015, ControlKind::GroupBox, "Final images to save", {7, 398, 731, 57}, {0, 100, 100, 0}, Centred},
        {3021, ControlKind::PushButton, "Default", {238, 384, 46, 14}, {0, 0, 0, 0}, Hidden},
        {5011, ControlKind::PushButton, "", {672, 408, 60, 42}, {50, 100, 0, 0}, TabStop},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        const LayoutControl* control = layout.Find(row.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->kind, row.kind);
        if (row.text)
            EXPECT_EQ(control->text, QString::fromUtf8(row.text));
        EXPECT_EQ(control->units, row.units);
        EXPECT_EQ(control->anchor, row.anchor);
        EXPECT_EQ(control->flags, row.flags);
    }
    // Tab order: Scan first, the thumbnails last and in order.
    EXPECT_EQ(layout.controls.front().id, 3000);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(layout.controls[layout.controls.size() - 12 + i].id, 5000 + i);
}

TEST(LayoutTable, ChooserItemsFollowTheLanguageChoiceRows)
{
    const QStringList& items = LanguageChooserItems();
    ASSERT_EQ(items.size(), qsizetype(LanguageChoice.size()));
    for (std::size_t i = 0; i < LanguageChoice.size(); ++i)
        EXPECT_EQ(items[qsizetype(i)], QString::fromLatin1(LanguageChoice[i].item));
}

TEST(LayoutTable, DamagedRowsAreRejectedWithTheirLine)
{
    const QByteArray window = "window\tdialog\t\t0\t0\t10\t10\t0\t0\t0\t0\t\n";
    const struct
    {
        const char* row;
        const char* reason;
    } cases[] = {
        {"5\tradio\tA\t1\t2\t3\t4\t0\t0\t0\t0\tgroup,wobbly\n", "unknown flag"},
        {"5\tknob\tA\t1\t2\t3\t4\t0\t0\t0\t0\t\n", "unknown kind"},
        {"5\tradio\tA\t1\tx\t3\t4\t0\t0\t0\t0\t\n", "not a number"},
        {"5\tradio\tA\t1\t2\t3\t4\t0\t0\t0\t0\n", "columns"},
        {"5\tradio\tA\t1\t2\t3\t4\t0\t0\t0\t140\t\n", "anchor share"},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_FALSE(ParseDialogLayout(window + c.row, &error).has_value()) << c.row;
        EXPECT_TRUE(error.contains(QLatin1String(c.reason))) << error.toStdString();
        EXPECT_TRUE(error.startsWith(QLatin1String("line 2"))) << error.toStdString();
    }
    QString error;
    EXPECT_FALSE(ParseDialogLayout("5\tradio\tA\t1\t2\t3\t4\t0\t0\t0\t0\t\n", &error).has_value());
    EXPECT_TRUE(error.contains(QLatin1String("no window row")));
}

TEST(DialogUnits, MulDivRoundsHalvesAwayFromZero)
{
    const struct
    {
        int a, b, c, expected;
    } cases[] = {
        {7, 6, 4, 11},   // 10.5
        {5, 6, 4, 8},    // 7.5
        {3, 6, 4, 5},    // 4.5
        {1, 13, 8, 2},   // 1.625
        {-7, 6, 4, -11}, // -10.5
        {751, 7, 4, 1314},
        {10, 10, 0, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(DialogUnits, BaseUnitsComeFromTheLetterWidthsAndTheFontHeight)
{
    const QFont font = DialogFont();
    EXPECT_EQ(font.pointSize(), 8);
    EXPECT_EQ(font.family(), QApplication::font().family());
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const DialogBaseUnits base = BaseUnitsFor(font);
    EXPECT_EQ(base.x, (letters / 26 + 1) / 2);
    EXPECT_EQ(base.y, metrics.ascent() + metrics.descent());
}

TEST(DialogUnits, RectanglesConvertEdgeByEdge)
{
    // The platform's own 8-point font: 6 x 13 base units.
    const DialogBaseUnits base {6, 13};
    EXPECT_EQ(DialogUnitsToPixels(QSize(751, 464), base), QSize(1127, 754));
    // Edges are converted separately, so neighbours stay flush: 12..72 and 72..132.
    const QRect first = DialogUnitsToPixels(QRect(12, 408, 60, 42), base);
    const QRect second = DialogUnitsToPixels(QRect(72, 408, 60, 42), base);
    EXPECT_EQ(first, QRect(18, 663, 90, 68));
    EXPECT_EQ(first.right() + 1, second.left());
    EXPECT_EQ(DialogUnitsToPixels(QRect(7, 7, 482, 299), base), QRect(11, 11, 723, 486));
}

TEST(AnchorLayout, ControlsMoveAndGrowByTheirShares)
{
    const QRect initial(100, 50, 40, 20);
    const QSize delta(201, 101);
    const struct
    {
        Anchor anchor;
        QRect expected;
    } cases[] = {
        {{0, 0, 0, 0}, initial},
        {{100, 0, 0, 0}, QRect(301, 50, 40, 20)},     // keeps its distance to the right edge
        {{50, 100, 0, 0}, QRect(200, 151, 40, 20)},   // centred, keeps its distance to the bottom
        {{0, 0, 100, 100}, QRect(100, 50, 241, 121)}, // stretches with the window
        {{0, 100, 100, 0}, QRect(100, 151, 241, 20)},
        {{50, 50, 0, 0}, QRect(200, 100, 40, 20)},
    };
    for (const auto& c : cases) {
        const QRect got = AnchorLayout::Anchored(initial, c.anchor, delta);
        EXPECT_EQ(got, c.expected) << c.anchor.moveX << "," << c.anchor.moveY << "," << c.anchor.growX << ","
                                   << c.anchor.growY;
    }
}

TEST(AnchorLayout, AppliesFromTheCapturedStartEveryTime)
{
    QWidget parent;
    parent.resize(400, 300);
    auto* right = new QWidget(&parent);
    right->setGeometry(350, 10, 40, 20);
    auto* stretch = new QWidget(&parent);
    stretch->setGeometry(10, 10, 300, 200);
    AnchorLayout anchors;
    anchors.Add(right, {100, 0, 0, 0});
    anchors.Add(stretch, {0, 0, 100, 100});
    anchors.Capture(parent.size());
    anchors.Apply(QSize(500, 350));
    anchors.Apply(QSize(450, 320));   // shares are taken from the start, not accumulated
    EXPECT_EQ(right->geometry(), QRect(400, 10, 40, 20));
    EXPECT_EQ(stretch->geometry(), QRect(10, 10, 350, 220));
    anchors.Apply(QSize(400, 300));
    EXPECT_EQ(right->geometry(), QRect(350, 10, 40, 20));
    EXPECT_EQ(stretch->geometry(), QRect(10, 10, 300, 200));
}

} // namespace
} // namespace vistrel
