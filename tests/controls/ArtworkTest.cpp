#include "Pixels.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace vistrel {
namespace {

int OpaquePixels(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            count += qAlpha(argb.pixel(x, y)) > 0 ? 1 : 0;
    return count;
}

TEST(Artwork, EmbeddedPicturesHaveTheSizesTheWindowLaysOut)
{
    struct Case {
        const char* path;
        QSize size;
    };
    const Case cases[] = {
        {":/artwork/no-scanner.png", {96, 96}},
        {":/artwork/placeholder.png", {88, 62}},
        {":/artwork/vistrel-256.png", {256, 256}},
        {":/artwork/vistrel-48.png", {48, 48}},
        {":/artwork/vistrel-32.png", {32, 32}},
        {":/artwork/vistrel-24.png", {24, 24}},
        {":/artwork/vistrel-16.png", {16, 16}},
    };
    for (const Case& c : cases) {
        const QImage image(QString::fromLatin1(c.path));
        ASSERT_FALSE(image.isNull()) << c.path;
        EXPECT_EQ(image.size(), c.size) << c.path;
        EXPECT_GT(OpaquePixels(image), c.size.width() * c.size.height() / 4) << c.path;
    }
}

TEST(Artwork, TheWindowIconRendersFromItsVectorSource)
{
    const QIcon icon(QStringLiteral(":/artwork/vistrel.svg"));
    for (int size : {16, 48, 256}) {
        const QPixmap pixmap = icon.pixmap(size, size);
        ASSERT_FALSE(pixmap.isNull()) << size;
        EXPECT_EQ(pixmap.size(), QSize(size, size));
        EXPECT_GT(OpaquePixels(pixmap.toImage()), size * size / 4) << size;
    }
}

} // namespace
} // namespace vistrel
