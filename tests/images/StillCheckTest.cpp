// Refusing stills that do not decode or claim an absurd size, before anything is allocated.
#include "Fixtures.h"

#include "images/RenderFitted.h"
#include "images/SaveImageFile.h"
#include "images/StillCheck.h"

#include <QTemporaryDir>
#include <QDir>

#include <gtest/gtest.h>

namespace vistrel {
namespace {

// A valid small JPEG whose frame header is rewritten to claim width x height.
std::vector<std::uint8_t> ClaimingSize(int width, int height)
{
    std::vector<std::uint8_t> bytes = test::EncodeJpeg(test::Quadrants(16, 16));
    for (std::size_t i = 2; i + 8 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC1 || bytes[i + 1] == 0xC2)) {
            bytes[i + 5] = static_cast<std::uint8_t>(height >> 8);
            bytes[i + 6] = static_cast<std::uint8_t>(height);
            bytes[i + 7] = static_cast<std::uint8_t>(width >> 8);
            bytes[i + 8] = static_cast<std::uint8_t>(width);
            return bytes;
        }
    }
    ADD_FAILURE() << "no frame header";
    return bytes;
}

TEST(CheckStill, RefusesWhatDoesNotDecode)
{
    const std::vector<std::uint8_t> valid = test::EncodeJpeg(test::Quadrants(32, 24));
    const std::vector<std::vector<std::uint8_t>> garbage = {
        {},
        {0xFF, 0xD8},                                          // SOI and nothing else
        {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0},   // another format
        std::vector<std::uint8_t>(valid.begin(), valid.begin() + 20),   // cut inside the headers
        std::vector<std::uint8_t>(4096, 0xAB),
    };
    for (const auto& bytes : garbage) {
        std::int32_t w = -1, h = -1;
        EXPECT_EQ(CheckStill(bytes.data(), static_cast<std::int32_t>(bytes.size()), &w, &h), StillCheck::NotDecodable)
            << bytes.size();
        EXPECT_EQ(w, 0);
        EXPECT_EQ(h, 0);
    }
    EXPECT_EQ(CheckStill(nullptr, 100, nullptr, nullptr), StillCheck::NotDecodable);

    std::int32_t w = 0, h = 0;
    EXPECT_EQ(CheckStill(valid.data(), static_cast<std::int32_t>(valid.size()), &w, &h), StillCheck::Ok);
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 24);
}

TEST(CheckStill, RefusesMoreThanAHundredMegapixels)
{
    struct Case { int width, height; StillCheck expected; };
    const Case cases[] = {
        {20000, 20000, StillCheck::TooLarge},
        {10001, 10000, StillCheck::TooLarge},
        {10000, 10000, StillCheck::Ok},   // exactly the limit
        {50000, 2, StillCheck::Ok},
    };
    for (const Case& c : cases) {
        const auto bytes = ClaimingSize(c.width, c.height);
        std::int32_t w = 0, h = 0;
        EXPECT_EQ(CheckStill(bytes.data(), static_cast<std::int32_t>(bytes.size()), &w, &h), c.expected)
            << c.width << "x" << c.height;
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
    }
}

TEST(CheckStill, RenderingAndSavingRefuseAbsurdStills)
{
    const auto huge = ClaimingSize(20000, 20000);
    QImage image(1, 1, QImage::Format_RGB32);
    EXPECT_TRUE(Failed(RenderFitted(huge.data(), static_cast<std::int32_t>(huge.size()), 2592, 1944, 88, 62, 0, 0, &image)));
    EXPECT_TRUE(image.isNull());

    const std::vector<std::uint8_t> junk(5000, 0x42);
    EXPECT_TRUE(Failed(RenderFitted(junk.data(), static_cast<std::int32_t>(junk.size()), 2592, 1944, 88, 62, 0, 0, &image)));
    // A recorded frame size that is absurd is refused as well.
    const auto fine = test::EncodeJpeg(test::Quadrants(32, 24));
    EXPECT_TRUE(Failed(RenderFitted(fine.data(), static_cast<std::int32_t>(fine.size()), 200000, 200000, 88, 62, 0, 0, &image)));
    EXPECT_TRUE(Failed(RenderFitted(fine.data(), static_cast<std::int32_t>(fine.size()), 0, 24, 88, 62, 0, 0, &image)));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const auto* bytes : {&huge, &junk}) {
        SaveFileResult result;
        const QString name = dir.filePath("20240305090702_01.jpg");
        EXPECT_TRUE(Failed(SaveImageFile(bytes->data(), static_cast<std::int32_t>(bytes->size()), 2592, 1944, name,
                                         2592, 1744, 0, 0, 0, {}, &result)));
        EXPECT_FALSE(result.reason.isEmpty());
        EXPECT_TRUE(result.path.isEmpty());
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

} // namespace
} // namespace vistrel
