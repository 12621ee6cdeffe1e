#pragma once

#include "StillFixture.h"

#include "controls/CButtonST.h"
#include "window/StripView.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace vistrel::test {

// A window with the strip's controls as the scanner window has them: twelve thumbnail buttons,
// the image view and the strip view over them. The buttons are a little larger than a thumbnail
// so that their background shows around the picture.
class StripFixture : public ::testing::Test
{
protected:
    static constexpr int kStillWidth = 400;
    static constexpr int kStillHeight = 300;
    static constexpr QRgb kPlaceholderIconColour = qRgb(0, 128, 128);
    static inline const QRect kFirstButton{20, 460, 96, 70};
    static inline const QRect kImageView{800, 20, 320, 200};

    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        window->resize(1300, 560);
        for (int i = 0; i < StripView::kButtonCount; ++i) {
            buttons[static_cast<std::size_t>(i)] = new CButtonST(window.get());
            buttons[static_cast<std::size_t>(i)]->setProperty("controlId", StripView::kFirstThumbnailId + i);
            buttons[static_cast<std::size_t>(i)]->setGeometry(0, 0, 10, 10);
        }
        buttons[0]->setGeometry(kFirstButton);
        imageView = new QLabel(window.get());
        imageView->setGeometry(kImageView);
        view = new StripView(window.get(), buttons, imageView);
        QPixmap icon(StripView::kThumbnailWidth, StripView::kThumbnailHeight);
        icon.fill(QColor(kPlaceholderIconColour));
        view->SetPlaceholderIcon(icon);
        view->LayOutStrip();
        for (int i = 0; i < StripView::kButtonCount; ++i) {
            QObject::connect(buttons[static_cast<std::size_t>(i)], &QPushButton::clicked, view,
                             [this, i] { view->SelectImage(StripView::kFirstThumbnailId + i); });
        }
        window->show();
    }

    void TearDown() override { window.reset(); }

    static const std::vector<std::uint8_t>& Still()
    {
        static const std::vector<std::uint8_t> bytes = EncodeJpeg(QuadrantPicture(kStillWidth, kStillHeight));
        return bytes;
    }

    static CapturedImage Entry(std::int32_t filmSize = 0, std::int32_t resolution = 0)
    {
        return MakeEntry(Still(), kStillWidth, kStillHeight, filmSize, resolution);
    }

    // Appends on the window thread and lets the posted selection run.
    int Append(CapturedImage entry)
    {
        const int position = view->AppendStill(std::move(entry));
        QCoreApplication::processEvents();
        return position;
    }

    void Fill(int count)
    {
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(Append(Entry()), i);
        }
    }

    CButtonST* Button(int i) const { return buttons[static_cast<std::size_t>(i)]; }

    // The button's background, read from its painted pixels at a corner the picture leaves free.
    QColor Background(int i) const { return Button(i)->grab().toImage().pixelColor(1, 1); }

    // The picture the button paints, cut out of its grab (the image is centred).
    QImage ButtonPicture(int i) const
    {
        const QImage shot = Button(i)->grab().toImage();
        const int x = (shot.width() - StripView::kThumbnailWidth) / 2;
        const int y = (shot.height() - StripView::kThumbnailHeight) / 2;
        return shot.copy(x, y, StripView::kThumbnailWidth, StripView::kThumbnailHeight);
    }

    bool ShowsPlaceholder(int i) const
    {
        const QImage picture = ButtonPicture(i);
        return picture.pixel(10, 10) == kPlaceholderIconColour &&
               picture.pixel(picture.width() / 2, picture.height() / 2) == kPlaceholderIconColour;
    }

    QImage ShownPreview() const { return imageView->pixmap().toImage(); }

    std::unique_ptr<QWidget> window;
    std::array<CButtonST*, StripView::kButtonCount> buttons{};
    QLabel* imageView = nullptr;
    StripView* view = nullptr;
};

} // namespace vistrel::test
