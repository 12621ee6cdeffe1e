#include "capture/uvc/StillJpeg.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

namespace vistrel::uvc {

namespace {

constexpr std::uint8_t kMarker = 0xFF;
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kHuffmanTable = 0xC4;
constexpr std::uint8_t kStartOfScan = 0xDA;
constexpr std::uint8_t kEndOfImage = 0xD9;

// The standard tables (JPEG Annex K.3): class/id, 16 code counts, then the symbols.
constexpr std::array<std::uint8_t, 420> kStandardHuffmanSegment = [] {
    std::array<std::uint8_t, 420> s {};
    const std::uint8_t head[] = {kMarker, kHuffmanTable, 0x01, 0xA2};
    const std::uint8_t dcLuminance[] = {
        0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    const std::uint8_t dcChrominance[] = {
        0x01, 0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    const std::uint8_t acLuminance[] = {
        0x10, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d,
        0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07,
        0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0,
        0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28,
        0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
        0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
        0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,
        0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7,
        0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5,
        0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
        0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8,
        0xf9, 0xfa};
    const std::uint8_t acChrominance[] = {
        0x11, 0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77,
        0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71,
        0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0,
        0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26,
        0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48,
        0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68,
        0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87,
        0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5,
        0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
        0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda,
        0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8,
        0xf9, 0xfa};
    std::size_t at = 0;
    for (const auto& part : {std::span<const std::uint8_t>(head), std::span<const std::uint8_t>(dcLuminance),
                             std::span<const std::uint8_t>(dcChrominance), std::span<const std::uint8_t>(acLuminance),
                             std::span<const std::uint8_t>(acChrominance)}) {
        for (std::uint8_t b : part)
            s[at++] = b;
    }
    return s;
}();

static_assert(kStandardHuffmanSegment[2] * 256 + kStandardHuffmanSegment[3] + 2 == kStandardHuffmanSegment.size());

// Markers that stand alone, without a length.
bool StandsAlone(std::uint8_t marker)
{
    return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
}

// Camera YUYV uses the video range (luma 16..235, chroma 16..240); a JPEG file holds the full range.
struct RangeTables
{
    std::array<std::uint8_t, 256> luma {};
    std::array<std::uint8_t, 256> chroma {};
};

const RangeTables& FullRange()
{
    static const RangeTables tables = [] {
        RangeTables t;
        const auto clamp = [](long v) { return static_cast<std::uint8_t>(std::clamp(v, 0L, 255L)); };
        for (long v = 0; v < 256; ++v) {
            t.luma[v] = clamp(std::lround((v - 16) * 255.0 / 219.0));
            t.chroma[v] = clamp(std::lround((v - 128) * 255.0 / 224.0 + 128.0));
        }
        return t;
    }();
    return tables;
}

struct TjHandleDeleter
{
    void operator()(void* handle) const { tjDestroy(handle); }
};

} // namespace

bool LooksLikeJpeg(std::span<const std::uint8_t> frame)
{
    return frame.size() >= 4 && frame[0] == kMarker && frame[1] == kStartOfImage;
}

std::vector<std::uint8_t> WithHuffmanTables(std::span<const std::uint8_t> frame)
{
    std::vector<std::uint8_t> out(frame.begin(), frame.end());
    if (!LooksLikeJpeg(frame))
        return out;
    std::size_t at = 2;
    while (at + 4 <= frame.size()) {
        if (frame[at] != kMarker)
            return out;
        const std::uint8_t marker = frame[at + 1];
        if (marker == kMarker) { // fill byte
            ++at;
            continue;
        }
        if (marker == kHuffmanTable || marker == kEndOfImage)
            return out;
        if (marker == kStartOfScan) {
            out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), kStandardHuffmanSegment.begin(),
                       kStandardHuffmanSegment.end());
            return out;
        }
        if (StandsAlone(marker)) {
            at += 2;
            continue;
        }
        const std::size_t length = static_cast<std::size_t>(frame[at + 2]) << 8 | frame[at + 3];
        if (length < 2)
            return out;
        at += 2 + length;
    }
    return out;
}

std::vector<std::uint8_t> JpegFromYuyv(std::span<const std::uint8_t> frame, int width, int height, int stride,
                                       int quality)
{
    if (width <= 0 || height <= 0 || width % 2 != 0 || stride < width * 2 ||
        frame.size() < static_cast<std::size_t>(stride) * (height - 1) + static_cast<std::size_t>(width) * 2)
        return {};
    const int chromaWidth = width / 2;
    const RangeTables& range = FullRange();
    std::vector<std::uint8_t> planes(static_cast<std::size_t>(width) * height * 2);
    std::uint8_t* y = planes.data();
    std::uint8_t* u = y + static_cast<std::size_t>(width) * height;
    std::uint8_t* v = u + static_cast<std::size_t>(chromaWidth) * height;
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* in = frame.data() + static_cast<std::size_t>(row) * stride;
        std::uint8_t* yRow = y + static_cast<std::size_t>(row) * width;
        std::uint8_t* uRow = u + static_cast<std::size_t>(row) * chromaWidth;
        std::uint8_t* vRow = v + static_cast<std::size_t>(row) * chromaWidth;
        for (int pair = 0; pair < chromaWidth; ++pair, in += 4) {
            yRow[2 * pair] = range.luma[in[0]];
            uRow[pair] = range.chroma[in[1]];
            yRow[2 * pair + 1] = range.luma[in[2]];
            vRow[pair] = range.chroma[in[3]];
        }
    }
    std::unique_ptr<void, TjHandleDeleter> handle(tjInitCompress());
    if (!handle)
        return {};
    const unsigned char* sources[3] = {y, u, v};
    const int strides[3] = {width, chromaWidth, chromaWidth};
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    const int result = tjCompressFromYUVPlanes(handle.get(), sources, width, strides, height, TJSAMP_422, &jpeg,
                                               &jpegSize, quality, TJFLAG_ACCURATEDCT);
    std::vector<std::uint8_t> out;
    if (result == 0)
        out.assign(jpeg, jpeg + jpegSize);
    tjFree(jpeg);
    return out;
}

} // namespace vistrel::uvc
