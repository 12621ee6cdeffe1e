// Fit and crop arithmetic, the output size table, file names and the orientation table.
#include "images/Encoders.h"
#include "images/Geometry.h"
#include "images/OrientationTransform.h"
#include "images/OutputSize.h"
#include "images/SaveFileName.h"

#include <gtest/gtest.h>

#include <array>

namespace vistrel {
namespace {

struct FitCase { std::int32_t W, H, rotation, outW, outH, x0, y0; };

TEST(Geometry, FitOffsetsTruncateLikeIntegerArithmetic)
{
    const FitCase cases[] = {
        {2592, 1944, 0, 88, 62, 3, 0},      // relatively taller: bands left and right
        {2592, 1944, 1, 88, 62, 21, 0},     // portrait after a quarter turn
        {2592, 1944, 3, 88, 62, 21, 0},
        {2592, 1944, 2, 88, 62, 3, 0},
        {2000, 2000, 0, 300, 300, 0, 0},    // square in square fills it
        {2592, 1000, 0, 88, 62, 0, 14},     // wider: y0 = (62 - 1000 * 88 / 2592) / 2 = (62 - 33) / 2
        {2592, 1944, 0, 720, 486, 36, 0},   // (720 - 648) / 2
    };
    for (const FitCase& c : cases) {
        const OrientedSize rot = OrientedSizeOf(c.W, c.H, c.rotation);
        const FitOffsets fit = FitOffsetsFor(rot.width, rot.height, c.outW, c.outH);
        EXPECT_EQ(fit.x0, c.x0) << c.W << "x" << c.H << " r" << c.rotation << " in " << c.outW << "x" << c.outH;
        EXPECT_EQ(fit.y0, c.y0) << c.W << "x" << c.H << " r" << c.rotation << " in " << c.outW << "x" << c.outH;
    }
}

TEST(Geometry, CropOffsetKeepsFullWidthAndGoesNegativeForTallBoxes)
{
    struct Case { std::int32_t rotW, rotH, boxW, boxH, c; };
    const Case cases[] = {
        {2592, 1944, 2592, 1744, 100},    // rows 100..1843 kept
        {1944, 2592, 1744, 2592, -148},   // quarter turn: the still is too short, black bands
        {2592, 1944, 5184, 3480, 102},    // 2592 * 3480 / 5184 = 1740 rows kept
        {2000, 2000, 2234, 2234, 0},      // square still: no crop
        {2000, 2000, 2592, 1744, 0},      // equal sides are never cropped, even into a wide box
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CropOffsetFor(c.rotW, c.rotH, c.boxW, c.boxH), c.c) << c.rotW << "x" << c.rotH;
    }
}

TEST(Geometry, OutputSizeTableAndResolution)
{
    struct Case { std::int32_t filmSize, resolution, width, height, dpi; };
    const Case cases[] = {
        {0, 0, 2592, 1744, 1829},   // 2592 px over 36 mm
        {0, 1, 5184, 3480, 3658},
        {1, 0, 2234, 2234, 2027},   // 2234 px over 28 mm
        {1, 1, 4245, 4245, 3851},
    };
    for (const Case& c : cases) {
        const OutputSize size = OutputSizeFor(c.filmSize, c.resolution);
        EXPECT_EQ(size.width, c.width);
        EXPECT_EQ(size.height, c.height);
        EXPECT_EQ(DotsPerInchFor(c.filmSize, size), c.dpi);
        // A portrait box of the same frame has the same resolution.
        EXPECT_EQ(DotsPerInchFor(c.filmSize, {size.height, size.width}), c.dpi);
    }
    EXPECT_EQ(OutputSizeFor(0, 2).width, 0);
    EXPECT_EQ(OutputSizeFor(2, 0).width, 0);
    EXPECT_EQ(OutputSizeFor(-1, 0).width, 0);
}

TEST(SaveFileNames, TimeStampPositionAndExtension)
{
    const CaptureTime when{2024, 3, 2, 5, 9, 7, 2, 450};
    struct Case { const char* folder; int position; std::int32_t format; const char* expected; };
    const Case cases[] = {
        {"/home/ann/Pictures/FilmScan", 3, Jpeg, "/home/ann/Pictures/FilmScan/20240305090702_03.jpg"},
        {"/home/ann/Pictures/FilmScan/", 12, Tiff, "/home/ann/Pictures/FilmScan/20240305090702_12.tif"},
        {"relative/dir", 1, Jpeg, "relative/dir/20240305090702_01.jpg"},
        {"/", 1, Jpeg, "/20240305090702_01.jpg"},
        {"/x", 1, 2, ""},   // unknown format
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SaveFileName(QString::fromUtf8(c.folder), when, c.position, c.format), QString::fromUtf8(c.expected));
    }
    const CaptureTime early{987, 1, 0, 2, 3, 4, 5, 0};
    EXPECT_EQ(SaveFileName("/f", early, 7, Tiff), "/f/09870102030405_07.tif");
}

TEST(SaveFileNames, AlternativesGoBeforeTheExtension)
{
    EXPECT_EQ(AlternativeFileName("/a/20240305090702_03.jpg", 2), "/a/20240305090702_03-2.jpg");
    EXPECT_EQ(AlternativeFileName("/a/20240305090702_03.tif", 13), "/a/20240305090702_03-13.tif");
    EXPECT_EQ(AlternativeFileName("/a.b/name", 3), "/a.b/name-3");
}

TEST(Encoders, LookupByExactMimeType)
{
    const ImageEncoder* encoder = nullptr;
    EXPECT_EQ(FindEncoder("image/jpeg", &encoder), 0);
    ASSERT_NE(encoder, nullptr);
    EXPECT_STREQ(encoder->extension, "jpg");
    EXPECT_EQ(FindEncoder("image/tiff", &encoder), 1);
    EXPECT_STREQ(encoder->extension, "tif");
    for (const char* other : {"image/JPEG", "image/png", "", "image/jpeg "}) {
        encoder = nullptr;
        EXPECT_EQ(FindEncoder(other, &encoder), -1) << other;
        EXPECT_EQ(encoder, nullptr);
    }
}

// The table against the definition: flip left-right, then turn clockwise quarter by quarter.
TEST(Orientation, TableMatchesFlipThenClockwiseTurns)
{
    constexpr int W = 5, H = 3;
    for (int mirrored = 0; mirrored < 2; ++mirrored) {
        for (int rotation = 0; rotation < 4; ++rotation) {
            // Where each still pixel ends up, built step by step.
            int width = W, height = H;
            std::array<std::array<int, 2>, W * H> at{};
            for (int y = 0; y < H; ++y) {
                for (int x = 0; x < W; ++x) {
                    at[static_cast<std::size_t>(y * W + x)] = {mirrored ? W - 1 - x : x, y};
                }
            }
            for (int turn = 0; turn < rotation; ++turn) {
                for (auto& p : at) {
                    p = {height - 1 - p[1], p[0]};   // clockwise
                }
                std::swap(width, height);
            }
            const OrientationOp op = OrientationTransform(mirrored, rotation);
            EXPECT_EQ(op.swapsAxes, rotation % 2 == 1);
            for (int y = 0; y < H; ++y) {
                for (int x = 0; x < W; ++x) {
                    const auto [u, v] = at[static_cast<std::size_t>(y * W + x)];
                    EXPECT_EQ(op.m[0][0] * u + op.m[0][1] * v + op.originX * (W - 1), x) << mirrored << rotation;
                    EXPECT_EQ(op.m[1][0] * u + op.m[1][1] * v + op.originY * (H - 1), y) << mirrored << rotation;
                }
            }
        }
    }
    // The combined rotate-then-flip codes of the eight rows.
    const std::array<int, 8> codes = {0, 1, 2, 3, 4, 7, 6, 5};
    for (std::size_t i = 0; i < codes.size(); ++i) {
        EXPECT_EQ(kOrientationTable[i].rotateFlipCode, codes[i]);
    }
}

} // namespace
} // namespace vistrel
