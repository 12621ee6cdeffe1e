// The live picture surface: latest frame wins, placed where the renderer says, from any thread.
#include "window/PreviewSurface.h"

#include <QImage>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <atomic>
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

// A frame as the renderer hands it over undecoded, counting its decodes.
class CountingPendingFrame : public IPendingFrame
{
public:
    CountingPendingFrame(QRgb colour, std::uint64_t sequence) : colour(colour), sequence(sequence) {}

    std::shared_ptr<const VideoFrame> Decode() override
    {
        ++decodes;
        return SolidFrame(16, 16, colour, sequence);
    }

    std::atomic<int> decodes {0};

private:
    QRgb colour;
    std::uint64_t sequence;
};

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

TEST_F(PreviewSurfaceTest, AHiddenSurfaceDecodesNothingAndShowingItPaintsTheNewestFrame)
{
    surface->PlacementChanged(VideoPlacement {0, 0, 200, 100, true});
    host.hide();
    EXPECT_FALSE(surface->ReadyForFrame());
    const auto older = std::make_shared<CountingPendingFrame>(qRgb(255, 0, 0), 1);
    const auto newer = std::make_shared<CountingPendingFrame>(qRgb(0, 200, 0), 2);
    std::thread streaming([&] {
        surface->PresentPending(older);
        surface->PresentPending(newer);
    });
    streaming.join();
    QCoreApplication::processEvents();
    EXPECT_EQ(older->decodes + newer->decodes, 0);
    EXPECT_EQ(surface->LatestFrame(), nullptr);

    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    ASSERT_TRUE(QTest::qWaitFor([this] { return surface->PaintedFrames() > 0; }));
    EXPECT_EQ(older->decodes, 0);
    EXPECT_EQ(newer->decodes, 1);
    EXPECT_EQ(surface->LatestFrame()->sequence, 2u);
    EXPECT_EQ(Shot().pixel(100, 50), qRgb(0, 200, 0));
    EXPECT_TRUE(surface->ReadyForFrame());
}

TEST_F(PreviewSurfaceTest, ASurfaceAsksForFramesUndecodedUntilItHasPaintedTheOneItHolds)
{
    surface->PlacementChanged(VideoPlacement {0, 0, 200, 100, true});
    EXPECT_TRUE(surface->ReadyForFrame());
    surface->PresentFrame(SolidFrame(16, 16, qRgb(0, 0, 255), 1));
    // Covered, or busy: no paint yet.
    EXPECT_FALSE(surface->ReadyForFrame());
    ASSERT_TRUE(QTest::qWaitFor([this] { return surface->ReadyForFrame(); }));
    EXPECT_EQ(surface->PaintedFrames(), 1u);

    // A newer decoded frame replaces one still waiting undecoded; an older undecoded one never
    // replaces a newer picture.
    const auto stale = std::make_shared<CountingPendingFrame>(qRgb(255, 0, 0), 2);
    surface->PresentPending(stale);
    surface->PresentFrame(SolidFrame(16, 16, qRgb(0, 200, 0), 3));
    EXPECT_FALSE(surface->HasPendingFrame());
    surface->PresentPending(std::make_shared<CountingPendingFrame>(qRgb(255, 0, 0), 1));
    EXPECT_EQ(Shot().pixel(100, 50), qRgb(0, 200, 0));
    EXPECT_EQ(stale->decodes, 0);
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
