#include "Fixtures.h"

#include <QFile>
#include <QPainter>

#include <tiffio.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

namespace vistrel::test {

QImage Quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    const int halfW = width / 2, halfH = height / 2;
    QPainter painter(&image);
    painter.fillRect(0, 0, halfW, halfH, kTopLeft);
    painter.fillRect(halfW, 0, width - halfW, halfH, kTopRight);
    painter.fillRect(0, halfH, halfW, height - halfH, kBottomLeft);
    painter.fillRect(halfW, halfH, width - halfW, height - halfH, kBottomRight);
    return image;
}

QImage Photo(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width, fy = static_cast<double>(y) / height;
            const double ring = 0.5 + 0.5 * std::sin(std::hypot(fx - 0.4, fy - 0.6) * 60.0);
            const int stripes = ((x / 7) % 2) * 40;
            const int r = static_cast<int>(200 * fx + 40 * ring);
            const int g = static_cast<int>(180 * fy + stripes);
            const int b = static_cast<int>(120 * ring + 60 * (1.0 - fx));
            row[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
    return image;
}

QImage Bands(int width, int height, int top, int bottom, QColor a, QColor b, QColor c)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, width, top, a);
    painter.fillRect(0, top, width, height - top - bottom, b);
    painter.fillRect(0, height - bottom, width, bottom, c);
    return image;
}

std::vector<std::uint8_t> EncodeJpeg(const QImage& source, int quality, bool fullChroma)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    const std::unique_ptr<void, int (*)(tjhandle)> encoder(tjInitCompress(), tjDestroy);
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(encoder.get(), image.constBits(), image.width(), static_cast<int>(image.bytesPerLine()),
                    image.height(), TJPF_BGRX, &jpeg, &size, fullChroma ? TJSAMP_444 : TJSAMP_420, quality, 0) != 0) {
        std::abort();
    }
    std::vector<std::uint8_t> bytes(jpeg, jpeg + size);
    tjFree(jpeg);
    return bytes;
}

QImage ReadJpeg(const std::vector<std::uint8_t>& bytes)
{
    const std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (bytes.empty() || tjDecompressHeader3(decoder.get(), bytes.data(), bytes.size(), &width, &height,
                                             &subsampling, &colourspace) != 0) {
        return {};
    }
    QImage image(width, height, QImage::Format_RGB32);
    if (tjDecompress2(decoder.get(), bytes.data(), bytes.size(), image.bits(), width,
                      static_cast<int>(image.bytesPerLine()), height, TJPF_BGRX, 0) != 0) {
        return {};
    }
    return image;
}

std::vector<std::uint8_t> ReadBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray data = file.readAll();
    return {data.begin(), data.end()};
}

QImage ReadImageFile(const QString& path)
{
    if (path.endsWith(QLatin1String(".jpg"))) {
        return ReadJpeg(ReadBytes(path));
    }
    const std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(path.toLocal8Bit().constData(), "r"), TIFFClose);
    if (!tif) {
        return {};
    }
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * height);
    if (!TIFFReadRGBAImageOriented(tif.get(), width, height, raster.data(), ORIENTATION_TOPLEFT, 0)) {
        return {};
    }
    QImage image(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    for (std::uint32_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t p = raster[static_cast<std::size_t>(y) * width + x];
            row[x] = qRgb(static_cast<int>(TIFFGetR(p)), static_cast<int>(TIFFGetG(p)), static_cast<int>(TIFFGetB(p)));
        }
    }
    return image;
}

int Distance(QRgb pixel, const QColor& colour)
{
    return std::max({std::abs(qRed(pixel) - colour.red()), std::abs(qGreen(pixel) - colour.green()),
                     std::abs(qBlue(pixel) - colour.blue())});
}

bool IsBlack(QRgb pixel, int tolerance)
{
    return qRed(pixel) <= tolerance && qGreen(pixel) <= tolerance && qBlue(pixel) <= tolerance;
}

} // namespace vistrel::test
