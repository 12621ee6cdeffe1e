#include "Pixels.h"

#include <QPixmap>
#include <QWidget>

namespace vistrel::test {

QImage Grab(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QColor PixelAt(const QImage& image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

QRect BoundsOf(const QImage& image, QColor colour)
{
    QRect bounds;
    const QRgb wanted = colour.rgb();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == wanted)
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

bool Contains(const QImage& image, QColor colour)
{
    return !BoundsOf(image, colour).isNull();
}

} // namespace vistrel::test
