#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "capture/uvc/StillJpeg.h"

namespace vistrel::v4l2 {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct TjDeleter
{
    void operator()(void* h) const { tjDestroy(h); }
};
using TjHandle = std::unique_ptr<void, TjDeleter>;

// An asymmetric RGB test picture, encoded with libjpeg-turbo's standard Huffman tables.
Bytes EncodeTestPicture(int width, int height)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(x * 255 / width);
            p[1] = static_cast<std::uint8_t>(y * 255 / height);
            p[2] = x < width / 3 ? 200 : 30;
        }
    }
    TjHandle handle(tjInitCompress());
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(tjCompress2(handle.get(), rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_422, 90, 0), 0);
    Bytes out(jpeg, jpeg + size);
    tjFree(jpeg);
    return out;
}

struct Segment
{
    std::uint8_t marker;
    std::size_t at;     // of the 0xFF
    std::size_t length; // whole segment including the marker
};

// The segments up to and including the start of scan.
std::vector<Segment> HeaderSegments(const Bytes& jpeg)
{
    std::vector<Segment> segments;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::size_t length = 2 + (static_cast<std::size_t>(jpeg[at + 2]) << 8 | jpeg[at + 3]);
        segments.push_back({jpeg[at + 1], at, length});
        if (jpeg[at + 1] == 0xDA)
            break;
        at += length;
    }
    return segments;
}

Bytes WithoutHuffmanTables(const Bytes& jpeg)
{
    Bytes out = jpeg;
    auto segments = HeaderSegments(jpeg);
    std::ranges::reverse(segments);
    for (const Segment& s : segments) {
        if (s.marker == 0xC4)
            out.erase(out.begin() + static_cast<std::ptrdiff_t>(s.at),
                      out.begin() + static_cast<std::ptrdiff_t>(s.at + s.length));
    }
    return out;
}

// Every Huffman table of the file by class and id: counts followed by symbols.
std::map<std::uint8_t, Bytes> HuffmanTables(const Bytes& jpeg)
{
    std::map<std::uint8_t, Bytes> tables;
    for (const Segment& s : HeaderSegments(jpeg)) {
        if (s.marker != 0xC4)
            continue;
        std::size_t at = s.at + 4;
        while (at < s.at + s.length) {
            const std::uint8_t classAndId = jpeg[at];
            std::size_t symbols = 0;
            for (int i = 1; i <= 16; ++i)
                symbols += jpeg[at + i];
            tables[classAndId] = Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(at + 1),
                                       jpeg.begin() + static_cast<std::ptrdiff_t>(at + 17 + symbols));
            at += 17 + symbols;
        }
    }
    return tables;
}

Bytes DecodeRgb(const Bytes& jpeg, int* width, int* height)
{
    TjHandle handle(tjInitDecompress());
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(handle.get(), jpeg.data(), jpeg.size(), width, height, &subsampling, &colorspace) != 0)
        return {};
    Bytes rgb(static_cast<std::size_t>(*width) * *height * 3);
    if (tjDecompress2(handle.get(), jpeg.data(), jpeg.size(), rgb.data(), *width, 0, *height, TJPF_RGB, 0) != 0)
        return {};
    return rgb;
}

TEST(StillJpeg, StandardTablesGoInBeforeTheScan)
{
    const Bytes complete = EncodeTestPicture(64, 48);
    const auto standard = HuffmanTables(complete);
    ASSERT_EQ(standard.size(), 4u);
    const Bytes motion = WithoutHuffmanTables(complete);
    ASSERT_TRUE(HuffmanTables(motion).empty());

    const Bytes still = uvc::WithHuffmanTables(motion);
    EXPECT_EQ(HuffmanTables(still), standard) << "the inserted tables are the standard ones, byte for byte";
    const auto segments = HeaderSegments(still);
    ASSERT_GE(segments.size(), 2u);
    EXPECT_EQ(segments.back().marker, 0xDA);
    EXPECT_EQ(segments[segments.size() - 2].marker, 0xC4);
    EXPECT_EQ(still.size(), motion.size() + 420);

    int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
    const Bytes expected = DecodeRgb(complete, &w1, &h1);
    const Bytes actual = DecodeRgb(still, &w2, &h2);
    ASSERT_FALSE(actual.empty());
    EXPECT_EQ(actual, expected);
}

TEST(StillJpeg, FramesWithTablesOrUnreadableMarkersStayAsTheyAre)
{
    const Bytes complete = EncodeTestPicture(32, 32);
    EXPECT_EQ(uvc::WithHuffmanTables(complete), complete);

    Bytes motion = WithoutHuffmanTables(complete);
    const std::vector<Bytes> odd = {
        {},
        {0xFF, 0xD8},
        {0x00, 0x11, 0x22, 0x33, 0x44},
        {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0xFF, 0xDA, 0x00, 0x02}, // segment length below 2
        {0xFF, 0xD8, 0x12, 0x34, 0xFF, 0xDA, 0x00, 0x02},             // no marker where one must be
        {0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xDA, 0x00, 0x02},             // ends before any scan
    };
    for (const Bytes& frame : odd)
        EXPECT_EQ(uvc::WithHuffmanTables(frame), frame);
    // Every cut of a table-less frame: the tables go in only where a whole header precedes the scan.
    for (std::size_t size = 0; size < motion.size(); ++size) {
        const Bytes cut(motion.begin(), motion.begin() + static_cast<std::ptrdiff_t>(size));
        const Bytes result = uvc::WithHuffmanTables(cut);
        EXPECT_TRUE(result == cut || result.size() == cut.size() + 420) << size;
    }
}

TEST(StillJpeg, YuyvBecomesAJpegOfTheSameSizeAndColours)
{
    // Four vertical bands of known Y, U, V; rows padded as some drivers deliver them.
    const int width = 64;
    const int height = 32;
    const int stride = width * 2 + 16;
    struct Band
    {
        std::uint8_t y, u, v;
        int r, g, b;
    };
    const Band bands[] = {
        {81, 90, 240, 255, 0, 0},    // red
        {145, 54, 34, 0, 255, 0},    // green
        {41, 240, 110, 0, 0, 255},   // blue
        {235, 128, 128, 255, 255, 255},
    };
    Bytes frame(static_cast<std::size_t>(stride) * height, 0xEE);
    for (int y = 0; y < height; ++y) {
        for (int pair = 0; pair < width / 2; ++pair) {
            const Band& band = bands[pair * 2 / (width / 4)];
            std::uint8_t* p = &frame[static_cast<std::size_t>(y) * stride + pair * 4];
            p[0] = band.y;
            p[1] = band.u;
            p[2] = band.y;
            p[3] = band.v;
        }
    }
    const Bytes jpeg = uvc::JpegFromYuyv(frame, width, height, stride, 100);
    ASSERT_TRUE(uvc::LooksLikeJpeg(jpeg));
    int w = 0, h = 0;
    const Bytes rgb = DecodeRgb(jpeg, &w, &h);
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    for (int i = 0; i < 4; ++i) {
        const int x = i * width / 4 + width / 8; // the middle of band i
        const std::uint8_t* p = &rgb[(static_cast<std::size_t>(height / 2) * width + x) * 3];
        EXPECT_NEAR(p[0], bands[i].r, 12) << "band " << i;
        EXPECT_NEAR(p[1], bands[i].g, 12) << "band " << i;
        EXPECT_NEAR(p[2], bands[i].b, 12) << "band " << i;
    }
}

TEST(StillJpeg, UnusableYuyvFramesGiveNothing)
{
    const Bytes frame(64 * 2 * 16, 128);
    EXPECT_TRUE(uvc::JpegFromYuyv(frame, 63, 16, 128, 90).empty()) << "odd width";
    EXPECT_TRUE(uvc::JpegFromYuyv(frame, 64, 17, 128, 90).empty()) << "short frame";
    EXPECT_TRUE(uvc::JpegFromYuyv(frame, 64, 16, 100, 90).empty()) << "stride below a row";
    EXPECT_TRUE(uvc::JpegFromYuyv(frame, 0, 16, 128, 90).empty());
    EXPECT_FALSE(uvc::JpegFromYuyv(frame, 64, 16, 128, 90).empty());
}

} // namespace
} // namespace vistrel::v4l2
