#include "StillFixture.h"

#include "images/CaptureTime.h"

#include <QPainter>

#include <turbojpeg.h>

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace vistrel::test {

QImage QuadrantPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    QPainter painter(&picture);
    const int halfW = width / 2;
    const int halfH = height / 2;
    painter.fillRect(0, 0, halfW, halfH, kQuadrantColours[0]);
    painter.fillRect(halfW, 0, width - halfW, halfH, kQuadrantColours[1]);
    painter.fillRect(0, halfH, halfW, height - halfH, kQuadrantColours[2]);
    painter.fillRect(halfW, halfH, width - halfW, height - halfH, kQuadrantColours[3]);
    return picture;
}

std::vector<std::uint8_t> EncodeJpeg(const QImage& picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    std::unique_ptr<void, int (*)(tjhandle)> encoder(tjInitCompress(), tjDestroy);
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(encoder.get(), rgb.constBits(), rgb.width(), static_cast<int>(rgb.bytesPerLine()),
                    rgb.height(), TJPF_RGB, &jpeg, &size, TJSAMP_444, 95, TJFLAG_ACCURATEDCT) != 0) {
        throw std::runtime_error(tjGetErrorStr2(encoder.get()));
    }
    std::vector<std::uint8_t> bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    return bytes;
}

CapturedImage MakeEntry(const std::vector<std::uint8_t>& bytes, int width, int height, std::int32_t filmSize,
                        std::int32_t resolution)
{
    CapturedImage entry;
    entry.frameData = std::make_shared<const std::vector<std::uint8_t>>(bytes);
    entry.frameSize = static_cast<std::int32_t>(bytes.size());
    entry.captureTime = LocalTimeNow();
    entry.filmType = 1;
    entry.filmSize = filmSize;
    entry.resolution = resolution;
    entry.frameWidth = width;
    entry.frameHeight = height;
    return entry;
}

QColor ExpectedQuadrant(int mirrored, int rotation, int quadrant)
{
    // Quadrants as a 2 x 2 grid: [0] TL, [1] TR, [2] BL, [3] BR.
    std::array<QColor, 4> grid = kQuadrantColours;
    if (mirrored != 0) {
        grid = {grid[1], grid[0], grid[3], grid[2]};
    }
    for (int turn = 0; turn < rotation; ++turn) {
        // A clockwise quarter turn: the left column becomes the top row.
        grid = {grid[2], grid[0], grid[3], grid[1]};
    }
    return grid[static_cast<std::size_t>(quadrant)];
}

QRect PictureArea(const QImage& rendering)
{
    QRect area;
    for (int y = 0; y < rendering.height(); ++y) {
        for (int x = 0; x < rendering.width(); ++x) {
            const QColor c = rendering.pixelColor(x, y);
            if (c.red() + c.green() + c.blue() > 60) {
                area |= QRect(x, y, 1, 1);
            }
        }
    }
    return area;
}

QColor QuadrantColour(const QImage& image, const QRect& area, int quadrant)
{
    const int x = area.left() + area.width() * (quadrant % 2 == 0 ? 1 : 3) / 4;
    const int y = area.top() + area.height() * (quadrant < 2 ? 1 : 3) / 4;
    return image.pixelColor(x, y);
}

bool Near(const QColor& a, const QColor& b, int tolerance)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace vistrel::test
