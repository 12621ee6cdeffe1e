#include "images/Encoders.h"
#include "images/ExifSegment.h"

#include <turbojpeg.h>

#include <QIODevice>

#include <memory>

namespace vistrel {

namespace {

constexpr int kJpegQuality = 100;

// Offsets inside the JFIF APP0 segment that TurboJPEG writes right after SOI.
constexpr std::size_t kJfifUnits = 13, kJfifXDensity = 14, kJfifYDensity = 16, kJfifEnd = 18;
constexpr std::uint8_t kUnitsDotsPerInch = 1;

bool HasJfifHeader(const std::uint8_t* jpeg, unsigned long size)
{
    static const std::uint8_t head[] = {0xFF, 0xD8, 0xFF, 0xE0};
    return size > kJfifEnd && std::equal(head, head + 4, jpeg) && std::equal(jpeg + 6, jpeg + 11, "JFIF");
}

std::size_t JfifSegmentEnd(const std::uint8_t* jpeg)
{
    return 4 + (static_cast<std::size_t>(jpeg[4]) << 8 | jpeg[5]);
}

bool WriteAll(QIODevice& out, const void* data, std::size_t size)
{
    return out.write(static_cast<const char*>(data), static_cast<qint64>(size)) == static_cast<qint64>(size);
}

} // namespace

HRESULT EncodeJpeg(const PixelView& image, const SaveMetadata& metadata, QIODevice& out, QString* reason,
                   ScratchBuffer* work)
{
    const std::unique_ptr<void, int (*)(tjhandle)> encoder(tjInitCompress(), tjDestroy);
    if (!encoder) {
        *reason = QStringLiteral("no JPEG encoder");
        return E_OUTOFMEMORY;
    }
    // With working memory: a worst-case buffer that is never reallocated; only the pages the file
    // needs are ever touched. Without: TurboJPEG grows its own.
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    int flags = 0;
    if (work) {
        jpegSize = tjBufSize(image.width, image.height, TJSAMP_444);
        jpeg = work->Reserve(jpegSize);
        flags |= TJFLAG_NOREALLOC;
    }
    // Full-resolution chroma: an archival scan keeps its colour detail.
    const int failed = tjCompress2(encoder.get(), image.pixels, image.width, image.stride, image.height, TJPF_BGRX,
                                   &jpeg, &jpegSize, TJSAMP_444, kJpegQuality, flags);
    const std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(work ? nullptr : jpeg, tjFree);
    if (failed != 0) {
        *reason = QStringLiteral("JPEG encoding failed (%1)").arg(QString::fromUtf8(tjGetErrorStr2(encoder.get())));
        return E_FAIL;
    }

    std::size_t headEnd = 2;   // after SOI
    if (HasJfifHeader(jpeg, jpegSize) && metadata.dotsPerInch > 0 && metadata.dotsPerInch <= 0xFFFF) {
        jpeg[kJfifUnits] = kUnitsDotsPerInch;
        for (std::size_t at : {kJfifXDensity, kJfifYDensity}) {
            jpeg[at] = static_cast<std::uint8_t>(metadata.dotsPerInch >> 8);
            jpeg[at + 1] = static_cast<std::uint8_t>(metadata.dotsPerInch);
        }
    }
    if (HasJfifHeader(jpeg, jpegSize)) {
        headEnd = JfifSegmentEnd(jpeg);   // JFIF readers expect APP0 first; Exif follows it
    }
    const std::vector<std::uint8_t> exif = ExifSegment(metadata.captureTime, metadata.dotsPerInch);
    if (!WriteAll(out, jpeg, headEnd) || !WriteAll(out, exif.data(), exif.size()) ||
        !WriteAll(out, jpeg + headEnd, jpegSize - headEnd)) {
        *reason = out.errorString();
        return E_FAIL;
    }
    return S_OK;
}

} // namespace vistrel
