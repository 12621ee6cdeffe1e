#include "images/RenderFitted.h"

#include "images/DecodedStill.h"
#include "images/Geometry.h"
#include "images/OrientationTransform.h"
#include "images/Resampler.h"
#include "images/StillCheck.h"

namespace vistrel {

namespace {

bool SaneSize(std::int32_t width, std::int32_t height)
{
    return width > 0 && height > 0 && static_cast<std::int64_t>(width) * height <= kMaxStillPixels;
}

} // namespace

HRESULT RenderFitted(const std::uint8_t* bytes, std::int32_t size, std::int32_t W, std::int32_t H,
                     std::int32_t outW, std::int32_t outH, std::int32_t mirrored, std::int32_t rotation,
                     QImage* out)
{
    if (!out) {
        return E_POINTER;
    }
    *out = QImage();
    if (!SaneSize(W, H) || !SaneSize(outW, outH)) {
        return E_INVALIDARG;
    }
    const OrientationOp op = OrientationTransform(mirrored, rotation);
    const OrientedSize rot = OrientedSizeOf(W, H, op.swapsAxes ? 1 : 0);
    const FitOffsets fit = FitOffsetsFor(rot.width, rot.height, outW, outH);
    const TargetRect picture{fit.x0, fit.y0, outW - 2 * fit.x0, outH - 2 * fit.y0};

    // The decoder only has to deliver as many pixels as the picture area shows.
    const std::int32_t neededAlongX = op.swapsAxes ? picture.height : picture.width;
    const std::int32_t neededAlongY = op.swapsAxes ? picture.width : picture.height;
    DecodedStill still;
    QString reason;
    const HRESULT decoded = DecodeStill(bytes, size, W, H, neededAlongX, neededAlongY, &still, &reason);
    if (Failed(decoded)) {
        return decoded;
    }

    QImage image(outW, outH, QImage::Format_RGB32);
    if (image.isNull()) {
        return E_OUTOFMEMORY;
    }
    const PixelTarget target{image.bits(), outW, outH, static_cast<std::int32_t>(image.bytesPerLine())};
    // The bands around the picture.
    FillBlack(target, {0, 0, outW, picture.y});
    FillBlack(target, {0, picture.y + picture.height, outW, outH - picture.y - picture.height});
    FillBlack(target, {0, picture.y, picture.x, picture.height});
    FillBlack(target, {picture.x + picture.width, picture.y, outW - picture.x - picture.width, picture.height});

    const double scale = static_cast<double>(still.scaleNum) / still.scaleDenom;
    const SourceRect from{0.0, 0.0, rot.width * scale, rot.height * scale};
    ResampleOriented({still.pixels, still.width, still.height, still.stride}, op, from, target, picture);
    *out = std::move(image);
    return S_OK;
}

} // namespace vistrel
