#include "controls/EmbossedImage.h"

#include <QPainter>

namespace vistrel {
namespace {

constexpr int kOpaqueAlpha = 128;

QImage ShapeOf(const QImage& image, QColor colour)
{
    const QImage source = image.convertToFormat(QImage::Format_ARGB32);
    QImage shape(source.size(), QImage::Format_ARGB32);
    if (source.isNull() || shape.isNull())
        return {};
    const QRgb ink = colour.rgb() | 0xFF000000u;
    for (int y = 0; y < source.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(shape.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            const bool white = (in[x] & 0x00FFFFFFu) == 0x00FFFFFFu;
            out[x] = (qAlpha(in[x]) >= kOpaqueAlpha && !white) ? ink : 0u;
        }
    }
    shape.setDevicePixelRatio(source.devicePixelRatio());
    return shape;
}

} // namespace

void DrawEmbossedImage(QPainter& painter, QPoint position, const QImage& image, QColor highlight, QColor shadow)
{
    const QImage light = ShapeOf(image, highlight);
    const QImage dark = ShapeOf(image, shadow);
    if (light.isNull() || dark.isNull())
        return;
    painter.drawImage(position + QPoint(1, 1), light);
    painter.drawImage(position, dark);
}

} // namespace vistrel
