// The decoded pixels of saved files, for every orientation at both resolutions in both formats,
// against digests recorded from the whole-bitmap writer that saving used before it streamed. Any
// change to decoding, orientation, crop, scaling or encoding shows here as a changed digest.
#include "Fixtures.h"

#include "images/OutputSize.h"
#include "images/SaveFileName.h"
#include "images/SaveImageFile.h"

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace vistrel {
namespace {

const CaptureTime kSaveTime{2024, 3, 2, 5, 9, 7, 2, 0};

// Red, green and blue of every pixel, row by row.
QByteArray PixelDigest(const QImage& image)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QByteArray row(image.width() * 3, Qt::Uninitialized);
    for (int y = 0; y < image.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            row[3 * x] = static_cast<char>(qRed(in[x]));
            row[3 * x + 1] = static_cast<char>(qGreen(in[x]));
            row[3 * x + 2] = static_cast<char>(qBlue(in[x]));
        }
        hash.addData(row);
    }
    return hash.result().toHex();
}

struct Case
{
    int resolution, format, mirrored, rotation;
    const char* digest;
};

// Recorded with the writer that drew each file into one whole output bitmap and encoded that.
const Case kCases[] = {
    {0, Jpeg, 0, 0, "a5b89143f16b94f84a9677e1d8a42af6d3315bae"},
    {0, Jpeg, 0, 1, "602b18229609b24e3d8b30757f001506940e0956"},
    {0, Jpeg, 0, 2, "f8b60a78af6b23dd7be6370df079c30803d60750"},
    {0, Jpeg, 0, 3, "0026d08fcc5926ffec81cad18494cafc5ada4335"},
    {0, Jpeg, 1, 0, "b0696039784c33b4082a81de36c38958e37574ce"},
    {0, Jpeg, 1, 1, "df497b80a8beda2ef73184d216e4f94c3ca23535"},
    {0, Jpeg, 1, 2, "ebd9c60fbfb31ae5329d414ffa59ea0e90c8d6f8"},
    {0, Jpeg, 1, 3, "ef5460edfe3da5119a8ccbf90359c88c7d977ab0"},
    {1, Jpeg, 0, 0, "94144be2bab4fae02e3289f6b945fc7bb8ac360f"},
    {1, Jpeg, 0, 1, "ccab1fadf9fd53d223b4e2f7c483597b16ca3ee2"},
    {1, Jpeg, 0, 2, "dfb03d40c6d32174ab3e57893a9f76e6018b5bc3"},
    {1, Jpeg, 0, 3, "49e92e6cc59ba2f7c3762a9512654a39ce6fab83"},
    {1, Jpeg, 1, 0, "0f689be90e9270cefa709eda256e48648d9f5bfe"},
    {1, Jpeg, 1, 1, "02460f55414d01d765e631d651e760e11e472748"},
    {1, Jpeg, 1, 2, "e9fd08efc3c79a45dfca1595f275ce0036c9340b"},
    {1, Jpeg, 1, 3, "12b11888e6ac7d0c56c9dea2ee9f46d9d60a4469"},
    {0, Tiff, 0, 0, "49bce8d6d1ffabc5ae5ef53d5da1dd5357fc3b43"},
    {0, Tiff, 0, 1, "a91ae88214e52a7b25222d462b4c319e07a29991"},
    {0, Tiff, 0, 2, "6348e8b392856026a5206bc74fd626389bdba538"},
    {0, Tiff, 0, 3, "35f3a2e7c55d485fb3a136a80aef8fa03d398d4f"},
    {0, Tiff, 1, 0, "f18d6cbe2c9beb7feecb7b258e312d743d5cda1d"},
    {0, Tiff, 1, 1, "1969ebc5805c3caafd1dc79a1b46a72c93bf2eb3"},
    {0, Tiff, 1, 2, "56df14a130ada51a993d8e31ee8f64877ecdf9e0"},
    {0, Tiff, 1, 3, "1e703bb96ffefe5b9e3dfe09ce0503bb10d4b708"},
    {1, Tiff, 0, 0, "08ceb1233848084d4f80f7f635e621c94b227a56"},
    {1, Tiff, 0, 1, "84dfdc65680b294dd332c3bcf6abc68fb587678e"},
    {1, Tiff, 0, 2, "48166693862fcee1aebe720973da374b067f6ac6"},
    {1, Tiff, 0, 3, "79e9454e6acbf7cfcd42e05e388f6c72321768e9"},
    {1, Tiff, 1, 0, "6d0508732f165567f8d99ab37ce071223559e301"},
    {1, Tiff, 1, 1, "b1dccae5b41ce4e877f83d33d53b17548a38ce0c"},
    {1, Tiff, 1, 2, "a91a61bb892d7812afb7b625fc13544ebca049a8"},
    {1, Tiff, 1, 3, "b0123f69e401cfd8bb580153a0575885c882dc9d"},
};

TEST(SavedPixels, EveryOrientationResolutionAndFormatAsTheWholeBitmapWriterWroteThem)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // As a scanner delivers it: chroma halved both ways, not quite the highest quality.
    const auto still = test::EncodeJpeg(test::Photo(2592, 1944), 92, false);
    int position = 1;
    for (const Case& c : kCases) {
        const OutputSize size = OutputSizeFor(0, c.resolution);
        const QString name = SaveFileName(dir.path(), kSaveTime, position++, c.format);
        SaveFileResult file;
        ASSERT_TRUE(Succeeded(SaveImageFile(still.data(), static_cast<std::int32_t>(still.size()), 2592, 1944, name,
                                            size.width, size.height, c.mirrored, c.rotation, c.format, {kSaveTime, 300},
                                            &file)))
            << ReasonLogText(file.reason);
        const QImage image = test::ReadImageFile(file.path);
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(PixelDigest(image).toStdString(), c.digest)
            << (c.resolution ? "High " : "Standard ") << (c.format == Jpeg ? "JPEG" : "TIFF") << " m" << c.mirrored
            << " r" << c.rotation;
        QFile::remove(file.path);
    }
}

} // namespace
} // namespace vistrel
