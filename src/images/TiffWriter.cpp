#include "images/TiffWriter.h"

#include "images/ExifSegment.h"

#include <tiffio.h>

#include <QIODevice>

#include <memory>
#include <vector>

namespace vistrel {

namespace {

constexpr std::uint32_t kStripBytesGoal = 256 * 1024;

// libtiff I/O over a QIODevice; the handle is the device.
QIODevice* Device(thandle_t handle)
{
    return static_cast<QIODevice*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* data, tmsize_t size)
{
    return static_cast<tmsize_t>(Device(handle)->read(static_cast<char*>(data), size));
}

tmsize_t WriteProc(thandle_t handle, void* data, tmsize_t size)
{
    return static_cast<tmsize_t>(Device(handle)->write(static_cast<const char*>(data), size));
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence)
{
    QIODevice* device = Device(handle);
    qint64 target = static_cast<qint64>(offset);
    if (whence == SEEK_CUR) {
        target += device->pos();
    } else if (whence == SEEK_END) {
        target += device->size();
    }
    if (!device->seek(target)) {
        return static_cast<toff_t>(-1);
    }
    return static_cast<toff_t>(device->pos());
}

int CloseProc(thandle_t)
{
    return 0;   // the caller owns the device
}

toff_t SizeProc(thandle_t handle)
{
    return static_cast<toff_t>(Device(handle)->size());
}

int MapProc(thandle_t, void**, toff_t*)
{
    return 0;
}

void UnmapProc(thandle_t, void*, toff_t)
{
}

} // namespace

// LZW with horizontal differencing: a High scan shrinks to about 40 % in a fraction of Deflate's time
// (Deflate level 6 is a few percent smaller and several times slower), and every TIFF reader has it.
TiffOptions DefaultTiffOptions()
{
    return {COMPRESSION_LZW, PREDICTOR_HORIZONTAL, 0};
}

HRESULT WriteTiff(const PixelView& image, const SaveMetadata& metadata, QIODevice& out, const TiffOptions& options,
                  QString* reason)
{
    const std::unique_ptr<TIFF, void (*)(TIFF*)> tif(
        TIFFClientOpen("image", "w", &out, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc, UnmapProc),
        TIFFCleanup);
    if (!tif) {
        *reason = QStringLiteral("TIFF writer could not start");
        return E_FAIL;
    }
    TIFF* t = tif.get();
    const auto rowBytes = static_cast<std::uint32_t>(image.width) * 3;
    const std::uint32_t rowsPerStrip = std::max<std::uint32_t>(1, kStripBytesGoal / std::max<std::uint32_t>(rowBytes, 1));
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(image.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(image.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_COMPRESSION, options.compression);
    if (options.compression != COMPRESSION_NONE) {
        TIFFSetField(t, TIFFTAG_PREDICTOR, options.predictor);
    }
    if (options.compression == COMPRESSION_ADOBE_DEFLATE) {
        TIFFSetField(t, TIFFTAG_ZIPQUALITY, options.zipLevel);
    }
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    const std::string when = ExifDateTime(metadata.captureTime);
    TIFFSetField(t, TIFFTAG_DATETIME, when.c_str());
    TIFFSetField(t, TIFFTAG_SOFTWARE, "Vistrel");
    if (metadata.dotsPerInch > 0) {
        TIFFSetField(t, TIFFTAG_XRESOLUTION, static_cast<float>(metadata.dotsPerInch));
        TIFFSetField(t, TIFFTAG_YRESOLUTION, static_cast<float>(metadata.dotsPerInch));
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    }

    std::vector<std::uint8_t> row(rowBytes);
    for (std::int32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* src = image.pixels + static_cast<std::ptrdiff_t>(y) * image.stride;
        for (std::int32_t x = 0; x < image.width; ++x) {
            row[3 * x] = src[4 * x + 2];
            row[3 * x + 1] = src[4 * x + 1];
            row[3 * x + 2] = src[4 * x];
        }
        if (TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0) < 0) {
            *reason = out.errorString().isEmpty() ? QStringLiteral("TIFF encoding failed") : out.errorString();
            return E_FAIL;
        }
    }
    if (!TIFFWriteDirectory(t)) {
        *reason = out.errorString().isEmpty() ? QStringLiteral("TIFF writing failed") : out.errorString();
        return E_FAIL;
    }
    return S_OK;
}

} // namespace vistrel
