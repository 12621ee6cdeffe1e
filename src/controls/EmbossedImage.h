#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>

class QPainter;

namespace vistrel {

// The platform's "disabled" look of an image: every opaque pixel that is not pure white becomes part of
// a flat shape, drawn once in the highlight colour one pixel down and right, then in the shadow colour.
void DrawEmbossedImage(QPainter& painter, QPoint position, const QImage& image, QColor highlight, QColor shadow);

} // namespace vistrel
