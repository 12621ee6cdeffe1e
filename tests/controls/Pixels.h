#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

class QWidget;

namespace vistrel::test {

QImage Grab(QWidget& widget);                        // the widget as painted, 1 pixel per unit
QColor PixelAt(const QImage& image, int x, int y);
QRect BoundsOf(const QImage& image, QColor colour); // smallest rectangle holding every pixel of that colour
bool Contains(const QImage& image, QColor colour);

} // namespace vistrel::test

// Readable colours in failure messages.
inline std::ostream& operator<<(std::ostream& out, const QColor& colour)
{
    return out << "RGB(" << colour.red() << ", " << colour.green() << ", " << colour.blue() << ")";
}

inline std::ostream& operator<<(std::ostream& out, const QRect& rect)
{
    return out << "QRect(" << rect.x() << ", " << rect.y() << ", " << rect.width() << " x " << rect.height() << ")";
}
