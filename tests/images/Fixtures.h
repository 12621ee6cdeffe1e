#pragma once
#include <QColor>
#include <QImage>
#include <QString>

#include <cstdint>
#include <vector>

namespace vistrel::test {

// Colours of the four quadrants of the asymmetric fixture.
inline const QColor kTopLeft{230, 30, 30}, kTopRight{30, 200, 40}, kBottomLeft{40, 60, 230},
    kBottomRight{240, 220, 30};

QImage Quadrants(int width, int height);
// A smooth, detailed picture (gradients, rings and fine stripes) for resampling comparisons.
QImage Photo(int width, int height);
// Horizontal bands: rows [0, top) colour a, [top, height - bottom) colour b, the rest colour c.
QImage Bands(int width, int height, int top, int bottom, QColor a, QColor b, QColor c);

// TurboJPEG at quality 100 with 4:4:4 chroma unless told otherwise.
std::vector<std::uint8_t> EncodeJpeg(const QImage& image, int quality = 100, bool fullChroma = true);

// Reads a written JPEG (TurboJPEG) or TIFF (libtiff) back into Format_RGB32; null when unreadable.
QImage ReadJpeg(const std::vector<std::uint8_t>& bytes);
QImage ReadImageFile(const QString& path);
std::vector<std::uint8_t> ReadBytes(const QString& path);

// Largest per-channel difference between a pixel and a colour.
int Distance(QRgb pixel, const QColor& colour);
bool IsBlack(QRgb pixel, int tolerance = 8);

} // namespace vistrel::test
