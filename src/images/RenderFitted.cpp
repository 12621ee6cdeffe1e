#include "images/RenderFitted.h"

#include "images/DecodedStill.h"
#include "images/Geometry.h"
#include "images/OrientationTransform.h"
#include "images/Resampler.h"
#include "images/StillCheck.h"

#include <algorithm>

namespace vistrel {

namespace {

bool SaneSize(std::int32_t width, std::int32_t height)
{
    return width > 0 && height > 0 && static_cast<std::int64_t>(width) * height <= kMaxStillPixels;
}

// Where the picture lies in an outW x outH box; the rest are bands.
TargetRect PictureArea(const OrientedSize& rot, std::int32_t outW, std::int32_t outH)
{
    const FitOffsets fit = FitOffsetsFor(rot.width, rot.height, outW, outH);
    return {fit.x0, fit.y0, outW - 2 * fit.x0, outH - 2 * fit.y0};
}

HRESULT Draw(const DecodedStill& still, const OrientationOp& op, const OrientedSize& rot, QSize size, QImage* out)
{
    const std::int32_t outW = size.width(), outH = size.height();
    QImage image(outW, outH, QImage::Format_RGB32);
    if (image.isNull()) {
        return E_OUTOFMEMORY;
    }
    const TargetRect picture = PictureArea(rot, outW, outH);
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

} // namespace

HRESULT RenderFitted(const std::uint8_t* bytes, std::int32_t size, std::int32_t W, std::int32_t H,
                     std::span<const QSize> sizes, std::int32_t mirrored, std::int32_t rotation, std::span<QImage> out)
{
    if (out.size() < sizes.size()) {
        return E_POINTER;
    }
    std::fill(out.begin(), out.end(), QImage());
    if (!SaneSize(W, H) || std::any_of(sizes.begin(), sizes.end(), [](QSize s) {
            return !s.isEmpty() && !SaneSize(s.width(), s.height());
        })) {
        return E_INVALIDARG;
    }
    const OrientationOp op = OrientationTransform(mirrored, rotation);
    const OrientedSize rot = OrientedSizeOf(W, H, op.swapsAxes ? 1 : 0);

    // The decoder only has to deliver as many pixels as the largest picture area shows.
    std::int32_t neededAlongX = 0, neededAlongY = 0;
    for (const QSize s : sizes) {
        if (s.isEmpty()) {
            continue;
        }
        const TargetRect picture = PictureArea(rot, s.width(), s.height());
        neededAlongX = std::max(neededAlongX, op.swapsAxes ? picture.height : picture.width);
        neededAlongY = std::max(neededAlongY, op.swapsAxes ? picture.width : picture.height);
    }
    if (neededAlongX == 0) {
        return S_OK;
    }
    DecodedStill still;
    Reason reason;
    const HRESULT decoded = DecodeStill(bytes, size, W, H, neededAlongX, neededAlongY, &still, &reason);
    if (Failed(decoded)) {
        return decoded;
    }
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (sizes[i].isEmpty()) {
            continue;
        }
        const HRESULT drawn = Draw(still, op, rot, sizes[i], &out[i]);
        if (Failed(drawn)) {
            return drawn;
        }
    }
    return S_OK;
}

HRESULT RenderFitted(const std::uint8_t* bytes, std::int32_t size, std::int32_t W, std::int32_t H,
                     std::int32_t outW, std::int32_t outH, std::int32_t mirrored, std::int32_t rotation,
                     QImage* out)
{
    if (!out) {
        return E_POINTER;
    }
    *out = QImage();
    if (!SaneSize(outW, outH)) {
        return E_INVALIDARG;
    }
    const QSize wanted(outW, outH);
    return RenderFitted(bytes, size, W, H, std::span<const QSize>(&wanted, 1), mirrored, rotation,
                        std::span<QImage>(out, 1));
}

} // namespace vistrel
