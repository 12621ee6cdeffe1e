#include "images/SaveImageFile.h"

#include "images/DecodedStill.h"
#include "images/Geometry.h"
#include "images/OrientationTransform.h"
#include "images/Resampler.h"
#include "images/SaveFileName.h"
#include "images/StillCheck.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include <memory>

namespace vistrel {

namespace {

constexpr std::array<const char*, 2> kFormatMimeTypes = {"image/jpeg", "image/tiff"};
constexpr int kMaxAlternatives = 9999;

HRESULT Fail(SaveFileResult* result, HRESULT code, const QString& reason)
{
    if (result) {
        result->reason = reason;
    }
    return code;
}

// Moves the finished temporary file to the wanted name or its first free alternative. The rename
// refuses to replace a file, so a name taken meanwhile by anyone is skipped, never overwritten.
bool ClaimName(QTemporaryFile& file, const QString& wanted, QString* claimed, QString* reason)
{
    for (int n = 1; n <= kMaxAlternatives; ++n) {
        const QString candidate = n == 1 ? wanted : AlternativeFileName(wanted, n);
        if (QFileInfo::exists(candidate)) {
            continue;
        }
        if (file.rename(candidate)) {
            file.setAutoRemove(false);
            *claimed = candidate;
            return true;
        }
        if (!QFileInfo::exists(candidate)) {
            *reason = file.errorString();
            return false;
        }
    }
    *reason = QStringLiteral("no free file name");
    return false;
}

} // namespace

HRESULT SaveImageFile(const std::uint8_t* bytes, std::int32_t size, std::int32_t W, std::int32_t H,
                      const QString& fileName, std::int32_t outW, std::int32_t outH, std::int32_t mirrored,
                      std::int32_t rotation, std::int32_t format, const SaveMetadata& metadata,
                      SaveFileResult* result, SaveScratch* scratch)
{
    if (result) {
        *result = {};
    }
    if (format < 0 || format >= static_cast<std::int32_t>(kFormatMimeTypes.size())) {
        return Fail(result, E_INVALIDARG, QStringLiteral("unknown file format %1").arg(format));
    }
    const ImageEncoder* encoder = nullptr;
    if (FindEncoder(kFormatMimeTypes[static_cast<std::size_t>(format)], &encoder) < 0) {
        return Fail(result, E_FAIL, QStringLiteral("no writer for this format"));
    }
    const auto sane = [](std::int32_t w, std::int32_t h) {
        return w > 0 && h > 0 && static_cast<std::int64_t>(w) * h <= kMaxStillPixels;
    };
    if (!sane(W, H) || !sane(outW, outH)) {
        return Fail(result, E_INVALIDARG, QStringLiteral("absurd image size"));
    }

    const QFileInfo target(fileName);
    const QString folder = target.absolutePath();
    if (!QDir().mkpath(folder)) {
        return Fail(result, E_FAIL, QStringLiteral("the folder %1 cannot be created").arg(QDir::toNativeSeparators(folder)));
    }

    // Orientation, the box (portrait for odd rotations) and the rows cut at top and bottom.
    const OrientationOp op = OrientationTransform(mirrored, rotation);
    const OrientedSize rot = OrientedSizeOf(W, H, op.swapsAxes ? 1 : 0);
    const std::int32_t boxW = op.swapsAxes ? outH : outW;
    const std::int32_t boxH = op.swapsAxes ? outW : outH;
    const std::int32_t c = CropOffsetFor(rot.width, rot.height, boxW, boxH);

    // Without a caller's scratch, the buffers live for this file only.
    SaveScratch ownScratch;
    SaveScratch& work = scratch ? *scratch : ownScratch;
    const std::int32_t stride = boxW * 4;
    std::uint8_t* pixels = nullptr;
    {
        DecodedStill still;
        QString reason;
        const HRESULT decoded = DecodeStill(bytes, size, W, H, op.swapsAxes ? boxH : boxW,
                                            op.swapsAxes ? boxW : boxH, &still, &reason, &work.decoded);
        if (Failed(decoded)) {
            return Fail(result, decoded, reason);
        }
        pixels = work.output.Reserve(static_cast<std::size_t>(stride) * boxH);
        const double scale = static_cast<double>(still.scaleNum) / still.scaleDenom;
        const SourceRect from{0.0, c * scale, rot.width * scale, (rot.height - 2.0 * c) * scale};
        ResampleOriented({still.pixels, still.width, still.height, still.stride}, op, from,
                         {pixels, boxW, boxH, stride}, {0, 0, boxW, boxH});
    }

    QTemporaryFile file(folder + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX"));
    if (!file.open()) {
        return Fail(result, E_FAIL, QStringLiteral("cannot write in %1: %2")
                                        .arg(QDir::toNativeSeparators(folder), file.errorString()));
    }
    QString reason;
    const HRESULT encoded = encoder->encode({pixels, boxW, boxH, stride}, metadata, file, &reason,
                                            scratch ? &work.encoded : nullptr);
    if (Failed(encoded)) {
        return Fail(result, encoded, reason);
    }
    if (!file.flush()) {
        return Fail(result, E_FAIL, file.errorString());
    }
#ifdef Q_OS_UNIX
    if (::fsync(file.handle()) != 0) {
        return Fail(result, E_FAIL, QStringLiteral("the file could not be written to the disk"));
    }
#endif
    QString claimed;
    if (!ClaimName(file, fileName, &claimed, &reason)) {
        return Fail(result, E_FAIL, reason);
    }
    if (result) {
        result->path = claimed;
    }
    return S_OK;
}

} // namespace vistrel
