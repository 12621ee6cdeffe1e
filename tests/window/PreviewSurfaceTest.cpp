// The live picture surface: latest frame wins, placed where the renderer says, from any thread.
#include "window/PreviewSurface.h"

#include <QImage>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <thread>

namespace vistrel {
namespace {

std::shared_ptr<const VideoFrame> SolidFrame(int width, int height, QRgb colour, std::uint64_t sequence)
{
    auto frame = std::make_shared<VideoFrame>();
    frame->width = width;
    frame->height = height;
    frame->stride = width * 4;
    frame->sequence = sequence;
    frame->pixels.resize(std::size_t(frame->stride) * std::size_t(height));
    for (std::size_t i = 0; i < frame->pixels.size(); i += 4) {
        frame->pixels[i] = std::uint8_t(qBlue(colour));
        frame->pixels[i + 1] = std::uint8_t(qGreen(colour));
        frame->pixels[i + 2] = std::uint8_t(qRed(colour));
        frame->pixels[i + 3] = 0xFF;
    }
    return frame;
}

class PreviewSurfaceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        host.resize(200, 100);
        host.setAutoFillBackground(true);
        QPalette black;
        black.setColor(QPalette::Window, Qt::black);
        host.setPalette(black);
        surface = new PreviewSurface(&host);
        surface->setGeometry(host.rect());
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    }

    QImage Shot() { return host.grab().toImage().convertToFormat(QImage::Format_RGB32); }

    QWidget host;
    PreviewSurface* surface = nullptr;
};

TEST_F(PreviewSurfaceTest, NewestFrameFromAnotherThreadIsPaintedInsideThePlacement)
{
    std::thread streaming([this] {
        surface->PlacementChanged(VideoPlacement {50, 0, 100, 100, true});
        surface->PresentFrame(SolidFrame(64, 48, qRgb(255, 0, 0), 1));
        surface->PresentFrame(SolidFrame(64, 48, qRgb(0, 200, 0), 2));
    });
    streaming.join();
    EXPECT_EQ(surface->LatestFrame()->sequence, 2u);
    QCoreApplication::sendPostedEvents();
    const QImage shot = Shot();
    EXPECT_EQ(shot.pixel(100, 50), qRgb(0, 200, 0));
    EXPECT_EQ(shot.pixel(60, 5), qRgb(0, 200, 0));
    EXPECT_EQ(shot.pixel(20, 50), qRgb(0, 0, 0));    // the bars stay the control's black
    EXPECT_EQ(shot.pixel(180, 50), qRgb(0, 0, 0));
}

TEST_F(PreviewSurfaceTest, HiddenPlacementDropsTheFrame)
{
    surface->PlacementChanged(VideoPlacement {0, 0, 200, 100, true});
    surface->PresentFrame(SolidFrame(16, 16, qRgb(0, 0, 255), 1));
    EXPECT_EQ(Shot().pixel(100, 50), qRgb(0, 0, 255));
    surface->PlacementChanged(VideoPlacement {0, 0, 200, 100, false});
    EXPECT_EQ(surface->LatestFrame(), nullptr);
    EXPECT_EQ(Shot().pixel(100, 50), qRgb(0, 0, 0));
}

TEST_F(PreviewSurfaceTest, FrameWithTooFewPixelsIsNotPainted)
{
    surface->PlacementChanged(VideoPlacement {0, 0, 200, 100, true});
    auto frame = std::make_shared<VideoFrame>();
    frame->width = 64;
    frame->height = 48;
    frame->stride = 64 * 4;
    frame->pixels.assign(100, 0xFF);   // far fewer bytes than 64 x 48 pixels need
    surface->PresentFrame(frame);
    EXPECT_EQ(Shot().pixel(100, 50), qRgb(0, 0, 0));
}

} // namespace
} // namespace vistrel
