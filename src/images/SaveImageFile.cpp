#include "images/SaveImageFile.h"

#include "images/AtomicFile.h"
#include "images/DecodedStill.h"
#include "images/Geometry.h"
#include "images/OrientationTransform.h"
#include "images/Resampler.h"
#include "images/StillCheck.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <QFileInfo>

#include <filesystem>

namespace vistrel {

namespace {

constexpr std::array<const char*, 2> kFormatMimeTypes = {"image/jpeg", "image/tiff"};

HRESULT Fail(SaveFileResult* result, HRESULT code, Reason reason)
{
    if (result) {
        result->reason = std::move(reason);
    }
    return code;
}

std::filesystem::path NativePath(const QString& path)
{
#ifdef _WIN32
    return std::filesystem::path(path.toStdWString());
#else
    // The bytes the file system has, as every other file call of the program makes them.
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

} // namespace

std::error_code MakeFolderPath(const QString& folder)
{
    std::error_code error;
    const std::filesystem::path path = NativePath(folder);
    if (std::filesystem::is_directory(path, error))
        return {};
    std::filesystem::create_directories(path, error);
    if (!error && !std::filesystem::is_directory(path, error) && !error)
        error = std::make_error_code(std::errc::not_a_directory);
    return error;
}

HRESULT SaveImageFile(const std::uint8_t* bytes, std::int32_t size, std::int32_t W, std::int32_t H,
                      const QString& fileName, std::int32_t outW, std::int32_t outH, std::int32_t mirrored,
                      std::int32_t rotation, std::int32_t format, const SaveMetadata& metadata,
                      SaveFileResult* result, SaveScratch* scratch, FolderSync folderSync)
{
    if (result) {
        *result = {};
    }
    if (format < 0 || format >= static_cast<std::int32_t>(kFormatMimeTypes.size())) {
        return Fail(result, E_INVALIDARG, Reason(ReasonCode::UnknownFormat).WithSize(format, 0));
    }
    const ImageEncoder* encoder = nullptr;
    if (FindEncoder(kFormatMimeTypes[static_cast<std::size_t>(format)], &encoder) < 0) {
        return Fail(result, E_FAIL, Reason(ReasonCode::NoWriter));
    }
    const auto sane = [](std::int32_t w, std::int32_t h) {
        return w > 0 && h > 0 && static_cast<std::int64_t>(w) * h <= kMaxStillPixels;
    };
    if (!sane(W, H) || !sane(outW, outH)) {
        return Fail(result, E_INVALIDARG, Reason(ReasonCode::AbsurdImageSize));
    }

    const QFileInfo target(fileName);
    const QString folder = target.absolutePath();
    const QString existing = ExistingFolderAbove(folder);
    if (const std::error_code error = MakeFolderPath(folder)) {
        if (result) {
            result->failure = SaveFailure::FolderNotCreated;
            result->systemError = error;
            result->folder = folder;
        }
        return Fail(result, E_FAIL,
                    Reason(ReasonCode::FolderCannotBeMade, QDir::toNativeSeparators(folder).toStdString(), error.value()));
    }

    // Orientation, the box (portrait for odd rotations) and the rows cut at top and bottom.
    const OrientationOp op = OrientationTransform(mirrored, rotation);
    const OrientedSize rot = OrientedSizeOf(W, H, op.swapsAxes ? 1 : 0);
    const std::int32_t boxW = op.swapsAxes ? outH : outW;
    const std::int32_t boxH = op.swapsAxes ? outW : outH;
    const std::int32_t c = CropOffsetFor(rot.width, rot.height, boxW, boxH);

    // Without a caller's scratch, the decoded still lives for this file only.
    SaveScratch ownScratch;
    SaveScratch& work = scratch ? *scratch : ownScratch;
    DecodedStill still;
    Reason reason;
    const HRESULT decoded = DecodeStill(bytes, size, W, H, op.swapsAxes ? boxH : boxW, op.swapsAxes ? boxW : boxH,
                                        &still, &reason, &work.decoded);
    if (Failed(decoded)) {
        return Fail(result, decoded, reason);
    }
    const double scale = static_cast<double>(still.scaleNum) / still.scaleDenom;
    const SourceRect from{0.0, c * scale, rot.width * scale, (rot.height - 2.0 * c) * scale};
    OrientedResampler resampler({still.pixels, still.width, still.height, still.stride}, op, from, boxW, boxH);
    const RowSource picture{boxW, boxH, [&](std::int32_t first, std::int32_t count, std::uint8_t* band, std::ptrdiff_t stride) {
                                resampler.Rows(first, count, band, stride);
                            }};

    AtomicFile file(fileName);
    if (!file.Open()) {
        return Fail(result, E_FAIL, Reason(ReasonCode::CannotWriteIn, QDir::toNativeSeparators(folder).toStdString(), file.Error()));
    }
    const HRESULT encoded = encoder->encode(picture, metadata, file, &reason);
    if (Failed(encoded)) {
        return Fail(result, encoded, reason);
    }
    QString claimed;
    if (!file.SyncData() || !file.Claim(&claimed)) {
        return Fail(result, E_FAIL, file.Error() != 0 ? Reason(ReasonCode::WriteFailed, {}, file.Error())
                                                      : Reason(ReasonCode::NoFreeName));
    }
    if (folderSync == FolderSync::Each && !SyncFolders(folder, existing, &reason)) {
        return Fail(result, E_FAIL, reason);
    }
    if (result) {
        result->path = claimed;
    }
    return S_OK;
}

} // namespace vistrel
