#include "controls/StaticPicture.h"

#include <QPainter>
#include <QStyle>

namespace vistrel {

void StaticPicture::paintEvent(QPaintEvent* event)
{
    const QPixmap picture = pixmap();
    if (isEnabled() || picture.isNull()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    const QRect placed = QStyle::alignedRect(layoutDirection(), QStyle::visualAlignment(layoutDirection(), alignment()),
                                             picture.deviceIndependentSize().toSize(), contentsRect());
    painter.drawPixmap(placed, picture);
}

} // namespace vistrel
