#include "StripFixture.h"

#include <QSignalSpy>

#include <ostream>
#include <string>
#include <vector>

namespace vistrel::test {
namespace {

const QColor kSelected(243, 63, 247);
const QColor kUnselected(93, 93, 93);
const QColor kHot(0, 200, 255);

using StripViewTest = StripFixture;

TEST_F(StripViewTest, LayOutPutsTheButtonsSideBySideWithTheirLooks)
{
    for (int i = 0; i < StripView::kButtonCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Button(i)->geometry(), kFirstButton.translated(i * kFirstButton.width(), 0));
        EXPECT_EQ(Button(i)->GetColor(CButtonST::HotBack), kHot);
        EXPECT_EQ(Button(i)->GetColor(CButtonST::NormalBack), kUnselected);
        EXPECT_EQ(Button(i)->GetColor(CButtonST::FocusBack), kUnselected);
        EXPECT_EQ(Background(i), kUnselected);
        EXPECT_TRUE(ShowsPlaceholder(i));
    }
    EXPECT_EQ(view->DefaultColour(), kUnselected);
    EXPECT_EQ(view->Strip().Selection(), -1);
}

TEST_F(StripViewTest, EmptyButtonsShowTheProgramsPlaceholderIcon)
{
    const QPixmap icon(QString::fromLatin1(StripView::kPlaceholderIconPath));
    ASSERT_EQ(icon.size(), QSize(StripView::kThumbnailWidth, StripView::kThumbnailHeight));
    std::array<CButtonST*, StripView::kButtonCount> own{};
    for (auto& button : own) {
        button = new CButtonST(window.get());
        button->setGeometry(kFirstButton.translated(0, -100));
    }
    StripView plain(window.get(), own, new QLabel(window.get()));
    plain.LayOutStrip();
    const QImage shot = own[5]->grab().toImage();
    int differing = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            differing += shot.pixelColor(x, y) != kUnselected ? 1 : 0;
        }
    }
    EXPECT_GT(differing, 100) << "the button shows only its background";
}

TEST_F(StripViewTest, PlaceholderPreviewIsOpaqueGreyAtTheImageViewsSize)
{
    const QImage placeholder = view->PlaceholderPreview();
    ASSERT_EQ(placeholder.size(), kImageView.size());
    EXPECT_EQ(view->PreviewSize(), kImageView.size());
    const QImage argb = placeholder.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            ASSERT_EQ(argb.pixel(x, y), qRgba(89, 89, 89, 255)) << x << ',' << y;
        }
    }
    const QImage shown = ShownPreview();
    ASSERT_EQ(shown.size(), kImageView.size());
    EXPECT_EQ(shown.pixel(0, 0), qRgb(89, 89, 89));
    EXPECT_EQ(shown.pixel(shown.width() - 1, shown.height() - 1), qRgb(89, 89, 89));
}

TEST_F(StripViewTest, AppendedStillIsSelectedByThePostedCommand)
{
    const int position = view->AppendStill(Entry());
    EXPECT_EQ(position, 0);
    EXPECT_EQ(view->Strip().Selection(), -1) << "the selection is posted, not made during the append";
    QCoreApplication::processEvents();
    ASSERT_EQ(view->Strip().Selection(), 0);

    const CapturedImage& entry = view->Strip().At(0);
    EXPECT_EQ(entry.thumbnail.size(), QSize(StripView::kThumbnailWidth, StripView::kThumbnailHeight));
    EXPECT_EQ(entry.preview.size(), kImageView.size());
    EXPECT_EQ(ShownPreview(), entry.preview.convertToFormat(ShownPreview().format()));
    EXPECT_EQ(Background(0), kSelected);
    EXPECT_EQ(Button(0)->GetColor(CButtonST::HotBack), kSelected);
    EXPECT_EQ(Button(0)->GetColor(CButtonST::FocusBack), kSelected);
    EXPECT_TRUE(Near(QuadrantColour(ButtonPicture(0), PictureArea(entry.thumbnail), 0), kQuadrantColours[0]));

    // The next one takes the selection; the first returns to the unselected colours.
    ASSERT_EQ(Append(Entry()), 1);
    EXPECT_EQ(view->Strip().Selection(), 1);
    EXPECT_EQ(Background(1), kSelected);
    EXPECT_EQ(Background(0), kUnselected);
    EXPECT_EQ(Button(0)->GetColor(CButtonST::HotBack), kHot);
}

TEST_F(StripViewTest, ThirteenthStillIsDroppedOnTheWindowThread)
{
    Fill(11);
    const CapturedImage twelfth = Entry();
    ASSERT_EQ(Append(twelfth), 11);
    EXPECT_EQ(view->Strip().Selection(), 11);
    std::vector<std::uint64_t> ids;
    for (int i = 0; i < view->Strip().Count(); ++i) {
        ids.push_back(view->Strip().At(i).id);
    }

    QSignalSpy changed(view, &StripView::StripChanged);
    EXPECT_EQ(view->AppendStill(Entry()), -1);
    QCoreApplication::processEvents();
    EXPECT_EQ(changed.count(), 0);
    ASSERT_EQ(view->Strip().Count(), ImageStrip::kMaxEntries);
    for (int i = 0; i < view->Strip().Count(); ++i) {
        EXPECT_EQ(view->Strip().At(i).id, ids[static_cast<std::size_t>(i)]);
    }
    EXPECT_EQ(view->Strip().Selection(), 11);
    EXPECT_EQ(Background(11), kSelected);
}

struct DeleteCase
{
    const char* name;
    int count;
    int selected;            // -1: nothing selected when Delete is pressed
    int expectedSelection;
    int selectedOriginal;    // which original entry is selected afterwards, -1 none
};

void PrintTo(const DeleteCase& c, std::ostream* out)
{
    *out << c.name;
}

class DeleteTest : public StripFixture, public ::testing::WithParamInterface<DeleteCase>
{
};

TEST_P(DeleteTest, SelectionAfterDelete)
{
    const DeleteCase c = GetParam();
    Fill(c.count);
    std::vector<std::uint64_t> ids;
    for (int i = 0; i < c.count; ++i) {
        ids.push_back(view->Strip().At(i).id);
    }
    if (c.selected >= 0) {
        view->SelectImage(StripView::kFirstThumbnailId + c.selected);
    } else {
        view->Strip().SetSelection(-1);
    }

    view->DeleteSelected();

    const int remaining = c.selected >= 0 ? c.count - 1 : c.count;
    ASSERT_EQ(view->Strip().Count(), remaining);
    ASSERT_EQ(view->Strip().Selection(), c.expectedSelection);
    if (c.selectedOriginal >= 0) {
        const CapturedImage& selected = view->Strip().At(c.expectedSelection);
        EXPECT_EQ(selected.id, ids[static_cast<std::size_t>(c.selectedOriginal)]);
        EXPECT_EQ(ShownPreview(), selected.preview.convertToFormat(ShownPreview().format()));
    } else if (remaining == 0) {
        EXPECT_EQ(ShownPreview().pixel(5, 5), qRgb(89, 89, 89));
    }
    for (int i = 0; i < StripView::kButtonCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ShowsPlaceholder(i), i >= remaining);
        if (c.selected >= 0) {
            EXPECT_EQ(Background(i), i == c.expectedSelection ? kSelected : kUnselected);
        }
    }
    EXPECT_EQ(window->focusWidget(), Button(0));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteTest,
    ::testing::Values(DeleteCase{"MiddleOfFiveSelectsTheOneThatMovedIn", 5, 2, 2, 3},
                      DeleteCase{"LastOfFiveSelectsTheNewLast", 5, 4, 3, 3},
                      DeleteCase{"FirstOfFiveSelectsTheNewFirst", 5, 0, 0, 1},
                      DeleteCase{"OnlyOneLeavesNothing", 1, 0, -1, -1},
                      DeleteCase{"NoSelectionDeletesNothing", 3, -1, -1, -1}),
    [](const ::testing::TestParamInfo<DeleteCase>& info) { return std::string(info.param.name); });

TEST_F(StripViewTest, ClickOnTheSelectedOrAnEmptyThumbnailDoesNothing)
{
    Fill(3);
    view->SelectImage(StripView::kFirstThumbnailId + 1);
    const qint64 preview = view->Strip().At(1).preview.cacheKey();
    QSignalSpy changed(view, &StripView::StripChanged);

    Button(1)->click();
    Button(7)->click();
    view->SelectImage(StripView::kFirstThumbnailId + 12);
    view->SelectImage(StripView::kFirstThumbnailId - 1);

    EXPECT_EQ(view->Strip().Selection(), 1);
    EXPECT_EQ(view->Strip().At(1).preview.cacheKey(), preview) << "nothing was rendered again";
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(ShowsPlaceholder(7));

    Button(0)->click();
    EXPECT_EQ(view->Strip().Selection(), 0);
    EXPECT_EQ(Background(0), kSelected);
    EXPECT_EQ(Background(1), kUnselected);
}

struct OrientationCase
{
    const char* name;
    const char* presses;     // M = Mirror, R = Rotate
    int mirrored;
    int rotation;
};

void PrintTo(const OrientationCase& c, std::ostream* out)
{
    *out << c.name;
}

class OrientationTest : public StripFixture, public ::testing::WithParamInterface<OrientationCase>
{
};

TEST_P(OrientationTest, ThumbnailAndPreviewFollowTheOrientation)
{
    const OrientationCase c = GetParam();
    Fill(2);
    view->SelectImage(StripView::kFirstThumbnailId);
    for (const char* press = c.presses; *press != '\0'; ++press) {
        if (*press == 'M') {
            view->MirrorSelected();
        } else {
            view->RotateSelected();
        }
    }
    const CapturedImage& entry = view->Strip().At(0);
    ASSERT_EQ(entry.mirrored, c.mirrored);
    ASSERT_EQ(entry.rotation, c.rotation);
    EXPECT_EQ(view->Strip().At(1).mirrored, 0) << "the other entry keeps its own orientation";
    EXPECT_EQ(view->Strip().At(1).rotation, 0);

    const QRect thumbArea = PictureArea(entry.thumbnail);
    const QRect previewArea = PictureArea(entry.preview);
    const bool portrait = c.rotation % 2 == 1;
    EXPECT_EQ(thumbArea.height() > thumbArea.width(), portrait) << thumbArea.width() << 'x' << thumbArea.height();
    EXPECT_EQ(previewArea.height() > previewArea.width(), portrait);
    const QImage onButton = ButtonPicture(0);
    const QImage shown = ShownPreview();
    for (int q = 0; q < 4; ++q) {
        SCOPED_TRACE(q);
        const QColor expected = ExpectedQuadrant(c.mirrored, c.rotation, q);
        EXPECT_TRUE(Near(QuadrantColour(entry.thumbnail, thumbArea, q), expected));
        EXPECT_TRUE(Near(QuadrantColour(onButton, thumbArea, q), expected)) << "the button shows the new thumbnail";
        EXPECT_TRUE(Near(QuadrantColour(entry.preview, previewArea, q), expected));
        EXPECT_TRUE(Near(QuadrantColour(shown, previewArea, q), expected)) << "the image view shows the new preview";
    }
    EXPECT_EQ(window->focusWidget(), Button(0));

    // Selecting the other entry shows that entry's own orientation.
    view->SelectImage(StripView::kFirstThumbnailId + 1);
    const QImage other = view->Strip().At(1).preview;
    EXPECT_TRUE(Near(QuadrantColour(other, PictureArea(other), 0), kQuadrantColours[0]));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OrientationTest,
    ::testing::Values(OrientationCase{"Captured", "", 0, 0}, OrientationCase{"RotateOnce", "R", 0, 1},
                      OrientationCase{"RotateTwice", "RR", 0, 2}, OrientationCase{"RotateThrice", "RRR", 0, 3},
                      OrientationCase{"RotateFourTimesIsBackAtCapture", "RRRR", 0, 0},
                      OrientationCase{"Mirror", "M", 1, 0}, OrientationCase{"MirrorTwiceIsBack", "MM", 0, 0},
                      OrientationCase{"MirrorThenRotate", "MR", 1, 1},
                      OrientationCase{"RotateThenMirror", "RM", 1, 1},
                      OrientationCase{"MirrorThenRotateTwice", "MRR", 1, 2},
                      OrientationCase{"RotateThriceThenMirror", "RRRM", 1, 3}),
    [](const ::testing::TestParamInfo<OrientationCase>& info) { return std::string(info.param.name); });

TEST_F(StripViewTest, CommandsWithoutSelectionOnlyMoveTheFocus)
{
    view->MirrorSelected();
    view->RotateSelected();
    view->DeleteSelected();
    EXPECT_EQ(view->Strip().Count(), 0);
    EXPECT_EQ(window->focusWidget(), Button(0));

    Fill(2);
    view->Strip().SetSelection(-1);
    QSignalSpy changed(view, &StripView::StripChanged);
    view->MirrorSelected();
    view->RotateSelected();
    view->DeleteSelected();
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(view->Strip().Count(), 2);
    EXPECT_EQ(view->Strip().At(0).mirrored + view->Strip().At(0).rotation, 0);
    EXPECT_EQ(view->Strip().At(1).mirrored + view->Strip().At(1).rotation, 0);
}

TEST_F(StripViewTest, LockedStripRefusesChanges)
{
    Fill(2);
    view->SetLocked(true);
    view->MirrorSelected();
    view->RotateSelected();
    view->DeleteSelected();
    EXPECT_EQ(view->Strip().Count(), 2);
    EXPECT_EQ(view->Strip().At(1).mirrored, 0);
    EXPECT_EQ(view->Strip().At(1).rotation, 0);
    // Stills still arrive and are selected while locked.
    EXPECT_EQ(Append(Entry()), 2);
    EXPECT_EQ(view->Strip().Selection(), 2);
    view->SetLocked(false);
    view->DeleteSelected();
    EXPECT_EQ(view->Strip().Count(), 2);
}

TEST_F(StripViewTest, ClearStripResetsEveryButton)
{
    Fill(4);
    view->SelectImage(StripView::kFirstThumbnailId + 2);
    QSignalSpy changed(view, &StripView::StripChanged);
    view->ClearStrip();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(view->Strip().Count(), 0);
    EXPECT_EQ(view->Strip().Selection(), -1);
    EXPECT_EQ(ShownPreview().pixel(10, 10), qRgb(89, 89, 89));
    for (int i = 0; i < StripView::kButtonCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(ShowsPlaceholder(i));
        EXPECT_EQ(Background(i), kUnselected);
        EXPECT_EQ(Button(i)->GetColor(CButtonST::HotBack), kHot);
    }
}

TEST_F(StripViewTest, StillThatDoesNotDecodeShowsBlack)
{
    std::vector<std::uint8_t> garbage(2000, 0x5A);
    ASSERT_EQ(Append(MakeEntry(garbage, kStillWidth, kStillHeight)), 0);
    ASSERT_EQ(view->Strip().Selection(), 0);
    const CapturedImage& entry = view->Strip().At(0);
    EXPECT_EQ(entry.preview.size(), kImageView.size());
    EXPECT_TRUE(PictureArea(entry.preview).isEmpty());
    EXPECT_TRUE(PictureArea(entry.thumbnail).isEmpty());
}

} // namespace
} // namespace vistrel::test
