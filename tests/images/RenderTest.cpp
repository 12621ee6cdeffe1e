// Rendering: fit offsets with black bands, the eight orientations, and the reduced-scale decode
// agreeing with a full decode.
#include "Fixtures.h"
#include "Orientation.h"

#include "images/RenderFitted.h"

#include <QTransform>

#include <gtest/gtest.h>

#include <cmath>

namespace vistrel {
namespace {

QImage Render(const std::vector<std::uint8_t>& jpeg, int W, int H, int outW, int outH, int mirrored, int rotation)
{
    QImage image;
    const HRESULT hr = RenderFitted(jpeg.data(), static_cast<std::int32_t>(jpeg.size()), W, H, outW, outH, mirrored,
                                    rotation, &image);
    EXPECT_TRUE(Succeeded(hr));
    return image;
}

TEST(RenderFitted, BandsAreBlackAndThePictureStartsAtTheFitOffset)
{
    const auto still = test::EncodeJpeg(test::Bands(2592, 1944, 0, 0, Qt::gray, QColor(200, 200, 200), Qt::gray), 90, false);
    struct Case { int rotation, x0; };
    for (const Case c : {Case{0, 3}, Case{1, 21}, Case{2, 3}, Case{3, 21}}) {
        const QImage thumb = Render(still, 2592, 1944, 88, 62, 0, c.rotation);
        ASSERT_EQ(thumb.size(), QSize(88, 62));
        EXPECT_EQ(thumb.format(), QImage::Format_RGB32);
        for (int y = 0; y < 62; ++y) {
            for (int x = 0; x < 88; ++x) {
                const bool band = x < c.x0 || x >= 88 - c.x0;
                const QRgb p = thumb.pixel(x, y);
                EXPECT_EQ(qAlpha(p), 255);
                if (band) {
                    EXPECT_EQ(p, qRgb(0, 0, 0)) << "r" << c.rotation << " (" << x << "," << y << ")";
                } else {
                    EXPECT_LE(test::Distance(p, QColor(200, 200, 200)), 3) << "r" << c.rotation << " (" << x << "," << y << ")";
                }
            }
        }
    }
}

TEST(RenderFitted, SquareStillFillsASquareBox)
{
    const auto still = test::EncodeJpeg(test::Quadrants(400, 400));
    const QImage image = Render(still, 400, 400, 120, 120, 1, 3);
    for (const QPoint p : {QPoint(0, 0), QPoint(119, 0), QPoint(0, 119), QPoint(119, 119)}) {
        EXPECT_FALSE(test::IsBlack(image.pixel(p), 20)) << p.x() << "," << p.y();
    }
}

// Each orientation at 1:1 (box = oriented size) and scaled into a thumbnail with bands.
TEST(RenderFitted, EightOrientationsOnAnAsymmetricStill)
{
    constexpr int W = 64, H = 48;
    const auto still = test::EncodeJpeg(test::Quadrants(W, H));
    for (int mirrored = 0; mirrored < 2; ++mirrored) {
        for (int rotation = 0; rotation < 4; ++rotation) {
            const auto expected = test::ExpectedQuadrants(mirrored, rotation);
            const bool swap = rotation % 2 == 1;
            const int rotW = swap ? H : W, rotH = swap ? W : H;
            const QImage exact = Render(still, W, H, rotW, rotH, mirrored, rotation);
            const auto got = test::QuarterPoints(exact, 0, 0, rotW, rotH);
            // Corner pixels too: no shift by one at either edge.
            const std::array<QRgb, 4> corners = {exact.pixel(0, 0), exact.pixel(rotW - 1, 0), exact.pixel(0, rotH - 1),
                                                 exact.pixel(rotW - 1, rotH - 1)};
            for (int q = 0; q < 4; ++q) {
                EXPECT_LE(test::Distance(got[q], expected[q]), 6) << "m" << mirrored << " r" << rotation << " q" << q;
                EXPECT_LE(test::Distance(corners[q], expected[q]), 6) << "m" << mirrored << " r" << rotation << " corner " << q;
            }

            const QImage thumb = Render(still, W, H, 88, 62, mirrored, rotation);
            const int x0 = swap ? 21 : 3;   // 64x48 has the same proportions as 2592x1944
            const auto scaled = test::QuarterPoints(thumb, x0, 0, 88 - 2 * x0, 62);
            for (int q = 0; q < 4; ++q) {
                EXPECT_LE(test::Distance(scaled[q], expected[q]), 6) << "thumb m" << mirrored << " r" << rotation << " q" << q;
            }
        }
    }
}

// Qt's own orient and smooth scale of a full decode is the reference.
double MeanDifference(const QImage& a, const QImage& b, int* worst)
{
    double total = 0.0;
    *worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) {
                total += std::abs(d);
                *worst = std::max(*worst, std::abs(d));
            }
        }
    }
    return total / (3.0 * a.width() * a.height());
}

TEST(RenderFitted, ReducedScaleDecodeMatchesAFullDecode)
{
    constexpr int W = 2592, H = 1944;
    const auto still = test::EncodeJpeg(test::Photo(W, H), 92, false);
    const QImage full = test::ReadJpeg(still);
    ASSERT_FALSE(full.isNull());
    struct Case { int outW, outH, mirrored, rotation; };
    const Case cases[] = {{88, 62, 0, 0}, {88, 62, 1, 1}, {313, 197, 0, 2}, {720, 486, 1, 0}, {720, 486, 0, 3}};
    for (const Case& c : cases) {
        const QImage rendered = Render(still, W, H, c.outW, c.outH, c.mirrored, c.rotation);
        const bool swap = c.rotation % 2 == 1;
        const int rotW = swap ? H : W, rotH = swap ? W : H;
        const int x0 = (c.outW - rotW * c.outH / rotH) / 2;
        const QImage oriented = full.mirrored(c.mirrored == 1, false).transformed(QTransform().rotate(90.0 * c.rotation));
        const QImage reference = oriented.scaled(c.outW - 2 * x0, c.outH, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage picture = rendered.copy(x0, 0, c.outW - 2 * x0, c.outH);
        int worst = 0;
        const double mean = MeanDifference(picture, reference.convertToFormat(QImage::Format_RGB32), &worst);
        EXPECT_LT(mean, 2.5) << c.outW << "x" << c.outH << " m" << c.mirrored << " r" << c.rotation;
        EXPECT_LT(worst, 48) << c.outW << "x" << c.outH << " m" << c.mirrored << " r" << c.rotation;
    }
}

// A selection renders its preview and its thumbnail from one decode at the scale the preview needs:
// the preview is exactly what it is alone, the thumbnail (drawn from more pixels than its own
// decode would give) stays close to its own rendering, bands included.
TEST(RenderFitted, OneDecodeServesThePreviewAndTheThumbnail)
{
    constexpr int W = 2592, H = 1944;
    const auto still = test::EncodeJpeg(test::Photo(W, H), 92, false);
    struct Case { QSize preview; int mirrored, rotation; };
    const Case cases[] = {{{313, 197}, 0, 0}, {{313, 197}, 1, 1}, {{720, 486}, 0, 2}, {{720, 486}, 1, 3}};
    for (const Case& c : cases) {
        const QSize sizes[] = {c.preview, {88, 62}};
        QImage pair[2];
        ASSERT_TRUE(Succeeded(RenderFitted(still.data(), static_cast<std::int32_t>(still.size()), W, H, sizes,
                                           c.mirrored, c.rotation, pair)));
        EXPECT_EQ(pair[0], Render(still, W, H, c.preview.width(), c.preview.height(), c.mirrored, c.rotation))
            << c.preview.width() << " m" << c.mirrored << " r" << c.rotation;
        const QImage alone = Render(still, W, H, 88, 62, c.mirrored, c.rotation);
        ASSERT_EQ(pair[1].size(), alone.size());
        int worst = 0;
        EXPECT_LT(MeanDifference(pair[1], alone, &worst), 2.0) << c.preview.width() << " r" << c.rotation;
        EXPECT_LT(worst, 40) << c.preview.width() << " r" << c.rotation;
    }
}

TEST(RenderFitted, RecordedSizeBeyondTheDecodedStillLeavesBlack)
{
    // The recorded frame size says 128 x 48 but the still decodes to 64 x 48: the right half of
    // the source rectangle has no pixels.
    const auto still = test::EncodeJpeg(test::Quadrants(64, 48));
    const QImage image = Render(still, 128, 48, 128, 48, 0, 0);
    EXPECT_LE(test::Distance(image.pixel(16, 12), test::kTopLeft), 6);
    EXPECT_TRUE(test::IsBlack(image.pixel(100, 12)));
    EXPECT_TRUE(test::IsBlack(image.pixel(127, 47)));
}

} // namespace
} // namespace vistrel
