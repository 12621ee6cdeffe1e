// Refusing stills that do not decode or claim an absurd size, before anything is allocated.
#include "Fixtures.h"

#include "images/DecodedStill.h"
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
        {0xFF, 0xD8, 0xFF, 0xD9},                              // SOI and EOI: no picture at all
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

// A still whose header is sound but whose data is cut short or corrupt is refused by the check on
// arrival and by every decode, never shown or saved with grey areas.
TEST(CheckStill, RefusesDamagedStillsEverywhere)
{
    const std::vector<std::uint8_t> whole = test::EncodeJpeg(test::Photo(320, 240));
    std::size_t scan = 0;
    for (std::size_t i = 2; i + 1 < whole.size() && !scan; ++i) {
        if (whole[i] == 0xFF && whole[i + 1] == 0xDA) {
            scan = i + 2;
        }
    }
    ASSERT_GT(scan, 0u);
    const std::size_t middle = scan + (whole.size() - scan) / 2;
    auto withEndInTheMiddle = whole;
    withEndInTheMiddle[middle] = 0xFF;
    withEndInTheMiddle[middle + 1] = 0xD9;
    auto withGarbage = whole;
    std::fill(withGarbage.begin() + std::ptrdiff_t(middle), withGarbage.begin() + std::ptrdiff_t(middle + 64), 0xFF);
    struct Case { const char* name; std::vector<std::uint8_t> bytes; };
    const Case cases[] = {
        {"cut in the middle of the data", {whole.begin(), whole.begin() + std::ptrdiff_t(middle)}},
        {"cut just after the data begins", {whole.begin(), whole.begin() + std::ptrdiff_t(scan + 40)}},
        {"end marker in the middle of the data", withEndInTheMiddle},
        {"fill bytes over the data", withGarbage},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const Case& c : cases) {
        const auto size = static_cast<std::int32_t>(c.bytes.size());
        std::int32_t w = 0, h = 0;
        EXPECT_EQ(CheckStill(c.bytes.data(), size, &w, &h), StillCheck::Damaged) << c.name;
        EXPECT_EQ(w, 320) << c.name;
        EXPECT_EQ(h, 240) << c.name;

        for (const std::int32_t needed : {320, 40}) {   // full size and a DCT-scaled decode
            DecodedStill decoded;
            Reason reason;
            EXPECT_TRUE(Failed(DecodeStill(c.bytes.data(), size, 320, 240, needed, needed * 3 / 4, &decoded, &reason)))
                << c.name << " at " << needed;
            EXPECT_EQ(reason.code, ReasonCode::StillDamaged) << c.name << ": " << ReasonLogText(reason);
        }
        QImage image;
        EXPECT_TRUE(Failed(RenderFitted(c.bytes.data(), size, 320, 240, 88, 62, 0, 0, &image))) << c.name;
        SaveFileResult result;
        EXPECT_TRUE(Failed(SaveImageFile(c.bytes.data(), size, 320, 240, dir.filePath("20240305090702_01.jpg"), 2592,
                                         1744, 0, 0, 0, {}, &result))) << c.name;
        EXPECT_EQ(result.reason.code, ReasonCode::StillDamaged) << c.name << ": " << ReasonLogText(result.reason);
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_EQ(CheckStill(whole.data(), static_cast<std::int32_t>(whole.size()), nullptr, nullptr), StillCheck::Ok);
}

// A still without its own quantization table cannot be decoded, whatever was decoded before it:
// the check on arrival and every later decode must agree.
TEST(CheckStill, ADecodeDoesNotBorrowTheTablesOfThePreviousStill)
{
    const std::vector<std::uint8_t> whole = test::EncodeJpeg(test::Quadrants(32, 24));
    std::vector<std::uint8_t> withoutTables;
    for (std::size_t i = 0; i < whole.size();) {
        if (i + 3 < whole.size() && whole[i] == 0xFF && whole[i + 1] == 0xDB) {
            i += 2 + (std::size_t(whole[i + 2]) << 8 | whole[i + 3]);
            continue;
        }
        withoutTables.push_back(whole[i++]);
    }
    ASSERT_LT(withoutTables.size(), whole.size());
    const auto size = static_cast<std::int32_t>(withoutTables.size());
    EXPECT_EQ(CheckStill(withoutTables.data(), size, nullptr, nullptr), StillCheck::NotDecodable);
    for (int round = 0; round < 2; ++round) {
        DecodedStill decoded;
        Reason reason;
        EXPECT_EQ(DecodeStill(whole.data(), static_cast<std::int32_t>(whole.size()), 32, 24, 32, 24, &decoded, &reason), S_OK);
        EXPECT_TRUE(Failed(DecodeStill(withoutTables.data(), size, 32, 24, 32, 24, &decoded, &reason))) << round;
    }
}

TEST(CheckStill, RefusesMoreThanAHundredMegapixels)
{
    // The header alone decides the size; the whole check then finds that a small picture claiming an
    // allowed large size has too little data for it.
    struct Case { int width, height; StillCheck header, whole; };
    const Case cases[] = {
        {20000, 20000, StillCheck::TooLarge, StillCheck::TooLarge},
        {10001, 10000, StillCheck::TooLarge, StillCheck::TooLarge},
        {10000, 10000, StillCheck::Ok, StillCheck::Damaged},   // exactly the limit
        {50000, 2, StillCheck::Ok, StillCheck::Damaged},
    };
    for (const Case& c : cases) {
        const auto bytes = ClaimingSize(c.width, c.height);
        const auto size = static_cast<std::int32_t>(bytes.size());
        std::int32_t w = 0, h = 0;
        EXPECT_EQ(CheckStillHeader(bytes.data(), size, &w, &h), c.header) << c.width << "x" << c.height;
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        EXPECT_EQ(CheckStill(bytes.data(), size, &w, &h), c.whole) << c.width << "x" << c.height;
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
        EXPECT_TRUE(result.reason);
        EXPECT_TRUE(result.path.isEmpty());
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

} // namespace
} // namespace vistrel
