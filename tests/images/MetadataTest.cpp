// The capture time and resolution written into both formats, read back by independent means.
#include "Fixtures.h"

#include "images/OutputSize.h"
#include "images/SaveImageFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tiffio.h>

#include <map>
#include <optional>

namespace vistrel {
namespace {

const CaptureTime kCaptured{2023, 11, 4, 18, 21, 5, 9, 37};

std::uint16_t Be16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

// A minimal reader of the little-endian EXIF layout: tag -> raw value bytes, per IFD.
struct Exif
{
    std::vector<std::uint8_t> tiff;
    std::uint32_t U32(std::size_t at) const
    {
        return tiff[at] | tiff[at + 1] << 8 | tiff[at + 2] << 16 | static_cast<std::uint32_t>(tiff[at + 3]) << 24;
    }
    std::uint16_t U16(std::size_t at) const { return static_cast<std::uint16_t>(tiff[at] | tiff[at + 1] << 8); }

    // tag -> (type, count, offset of the value)
    std::map<std::uint16_t, std::array<std::uint32_t, 3>> Ifd(std::uint32_t offset) const
    {
        std::map<std::uint16_t, std::array<std::uint32_t, 3>> entries;
        const std::uint16_t count = U16(offset);
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::size_t e = offset + 2 + 12u * i;
            const std::uint16_t type = U16(e + 2);
            const std::uint32_t n = U32(e + 4);
            const std::uint32_t bytes = n * (type == 5 ? 8 : type == 3 ? 2 : type == 4 ? 4 : 1);
            entries[U16(e)] = {type, n, bytes <= 4 ? static_cast<std::uint32_t>(e + 8) : U32(e + 8)};
        }
        return entries;
    }
    std::string Text(const std::array<std::uint32_t, 3>& entry) const
    {
        return std::string(reinterpret_cast<const char*>(tiff.data() + entry[2]));
    }
};

struct JpegHeaders
{
    std::optional<std::array<int, 3>> jfifDensity;   // units, x, y
    std::optional<Exif> exif;
};

JpegHeaders ParseHeaders(const std::vector<std::uint8_t>& jpeg)
{
    JpegHeaders headers;
    std::size_t at = 2;
    while (at + 4 < jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
        const std::uint8_t marker = jpeg[at + 1];
        const std::size_t length = Be16(&jpeg[at + 2]);
        const std::uint8_t* body = &jpeg[at + 4];
        if (marker == 0xE0 && std::equal(body, body + 5, "JFIF")) {
            headers.jfifDensity = std::array<int, 3>{body[7], Be16(body + 8), Be16(body + 10)};
        }
        if (marker == 0xE1 && std::equal(body, body + 6, "Exif\0\0")) {
            headers.exif = Exif{std::vector<std::uint8_t>(body + 6, body + length - 2)};
        }
        at += 2 + length;
    }
    return headers;
}

TEST(Metadata, JpegCarriesCaptureTimeAndFilmResolution)
{
    QTemporaryDir dir;
    const auto still = test::EncodeJpeg(test::Quadrants(640, 480));
    const OutputSize size = OutputSizeFor(0, 1);
    const int dpi = DotsPerInchFor(0, size);
    SaveFileResult result;
    ASSERT_TRUE(Succeeded(SaveImageFile(still.data(), static_cast<std::int32_t>(still.size()), 640, 480,
                                        dir.filePath("a.jpg"), size.width, size.height, 0, 0, 0, {kCaptured, dpi}, &result)));
    const auto bytes = test::ReadBytes(result.path);
    ASSERT_GT(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xD8);
    const JpegHeaders headers = ParseHeaders(bytes);

    ASSERT_TRUE(headers.jfifDensity.has_value());
    EXPECT_EQ(*headers.jfifDensity, (std::array<int, 3>{1, 3658, 3658}));

    ASSERT_TRUE(headers.exif.has_value());
    const Exif& exif = *headers.exif;
    ASSERT_EQ(exif.tiff[0], 'I');
    ASSERT_EQ(exif.U16(2), 42);
    const auto ifd0 = exif.Ifd(exif.U32(4));
    ASSERT_TRUE(ifd0.count(0x0132));
    EXPECT_EQ(exif.Text(ifd0.at(0x0132)), "2023:11:18 21:05:09");
    ASSERT_TRUE(ifd0.count(0x011A));
    EXPECT_EQ(exif.U32(ifd0.at(0x011A)[2]), 3658u);
    EXPECT_EQ(exif.U32(ifd0.at(0x011A)[2] + 4), 1u);
    ASSERT_TRUE(ifd0.count(0x0128));
    EXPECT_EQ(exif.U16(ifd0.at(0x0128)[2]), 2) << "inches";
    ASSERT_TRUE(ifd0.count(0x8769));
    const auto exifIfd = exif.Ifd(exif.U32(ifd0.at(0x8769)[2]));
    ASSERT_TRUE(exifIfd.count(0x9003));
    EXPECT_EQ(exif.Text(exifIfd.at(0x9003)), "2023:11:18 21:05:09");
    ASSERT_TRUE(exifIfd.count(0x9291));
    EXPECT_EQ(exif.Text(exifIfd.at(0x9291)), "037");

    // The picture itself still decodes after the inserted segment.
    EXPECT_EQ(test::ReadJpeg(bytes).size(), QSize(5184, 3480));
}

TEST(Metadata, TiffCarriesDateTimeAndResolution)
{
    QTemporaryDir dir;
    const auto still = test::EncodeJpeg(test::Quadrants(600, 600));
    const OutputSize size = OutputSizeFor(1, 0);
    const int dpi = DotsPerInchFor(1, size);
    SaveFileResult result;
    ASSERT_TRUE(Succeeded(SaveImageFile(still.data(), static_cast<std::int32_t>(still.size()), 600, 600,
                                        dir.filePath("a.tif"), size.width, size.height, 0, 0, 1, {kCaptured, dpi}, &result)));
    const std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(result.path.toLocal8Bit().constData(), "r"), TIFFClose);
    ASSERT_TRUE(tif);
    char* when = nullptr;
    ASSERT_TRUE(TIFFGetField(tif.get(), TIFFTAG_DATETIME, &when));
    EXPECT_STREQ(when, "2023:11:18 21:05:09");
    float x = 0, y = 0;
    std::uint16_t unit = 0, bits = 0, samples = 0, compression = 0;
    ASSERT_TRUE(TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &x));
    ASSERT_TRUE(TIFFGetField(tif.get(), TIFFTAG_YRESOLUTION, &y));
    ASSERT_TRUE(TIFFGetField(tif.get(), TIFFTAG_RESOLUTIONUNIT, &unit));
    EXPECT_FLOAT_EQ(x, 2027.0f);
    EXPECT_FLOAT_EQ(y, 2027.0f);
    EXPECT_EQ(unit, RESUNIT_INCH);
    TIFFGetField(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif.get(), TIFFTAG_COMPRESSION, &compression);
    EXPECT_EQ(bits, 8);
    EXPECT_EQ(samples, 3);
    EXPECT_TRUE(compression == COMPRESSION_ADOBE_DEFLATE || compression == COMPRESSION_LZW) << compression;
}

} // namespace
} // namespace vistrel
