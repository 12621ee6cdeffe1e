#include "capture/runtime/FrameConverter.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vistrel {

namespace {

constexpr int kScaleDenominator = 8;
constexpr int kBytesPerPixel = 4;
constexpr int kWeightBits = 8;
constexpr int kWeightOne = 1 << kWeightBits;

std::int32_t Scaled(std::int32_t dimension, int numerator)
{
    return (dimension * numerator + kScaleDenominator - 1) / kScaleDenominator;
}

std::uint8_t Clamp8(int v)
{
    return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

// BT.601 studio-range YCbCr to RGB, 16.16 fixed point.
void YuvToBgrx(int y, int u, int v, std::uint8_t* out)
{
    const int c = (y - 16) * 76309;
    const int d = u - 128;
    const int e = v - 128;
    out[0] = Clamp8((c + 132201 * d + 32768) >> 16);
    out[1] = Clamp8((c - 25675 * d - 53279 * e + 32768) >> 16);
    out[2] = Clamp8((c + 104597 * e + 32768) >> 16);
    out[3] = 0xFF;
}

struct Tap {
    std::int32_t first;
    std::int32_t second;
    std::int32_t weight; // of the second sample, out of kWeightOne
};

// Centre-aligned sample positions of a bilinear resampling along one axis.
void ComputeTaps(std::int32_t sourceSize, std::int32_t targetSize, std::vector<Tap>& taps)
{
    taps.resize(static_cast<std::size_t>(targetSize));
    const double ratio = static_cast<double>(sourceSize) / targetSize;
    for (std::int32_t i = 0; i < targetSize; ++i) {
        const double position = std::max(0.0, (i + 0.5) * ratio - 0.5);
        auto first = static_cast<std::int32_t>(position);
        first = std::min(first, sourceSize - 1);
        const std::int32_t second = std::min(first + 1, sourceSize - 1);
        const auto weight = static_cast<std::int32_t>((position - first) * kWeightOne + 0.5);
        taps[static_cast<std::size_t>(i)] = {first, second, std::min(weight, kWeightOne)};
    }
}

} // namespace

FrameConverter::FrameConverter() : decoder(tjInitDecompress()) {}

FrameConverter::~FrameConverter()
{
    if (decoder)
        tjDestroy(static_cast<tjhandle>(decoder));
}

int FrameConverter::ScaleNumeratorFor(std::int32_t width, std::int32_t height, std::int32_t targetWidth,
                                      std::int32_t targetHeight)
{
    for (int numerator = 1; numerator < kScaleDenominator; ++numerator)
        if (Scaled(width, numerator) >= targetWidth && Scaled(height, numerator) >= targetHeight)
            return numerator;
    return kScaleDenominator;
}

bool FrameConverter::DecodeJpeg(const std::uint8_t* data, std::int32_t length, std::int32_t targetWidth,
                                std::int32_t targetHeight)
{
    if (!decoder)
        return false;
    auto handle = static_cast<tjhandle>(decoder);
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(handle, data, static_cast<unsigned long>(length), &width, &height, &subsampling,
                            &colourspace) != 0 ||
        width <= 0 || height <= 0)
        return false;
    const int numerator = ScaleNumeratorFor(width, height, targetWidth, targetHeight);
    decodedWidth = Scaled(width, numerator);
    decodedHeight = Scaled(height, numerator);
    decoded.resize(static_cast<std::size_t>(decodedWidth) * decodedHeight * kBytesPerPixel);
    // A corrupt tail still yields a picture; only a hard error drops the frame.
    const int rc = tjDecompress2(handle, data, static_cast<unsigned long>(length), decoded.data(), decodedWidth,
                                 decodedWidth * kBytesPerPixel, decodedHeight, TJPF_BGRX, 0);
    return rc == 0 || tjGetErrorCode(handle) == TJERR_WARNING;
}

bool FrameConverter::ConvertYuy2(const std::uint8_t* data, std::int32_t length, std::int32_t width,
                                 std::int32_t height)
{
    height = std::abs(height); // packed YUV is top-down whatever the sign
    if (width <= 0 || height <= 0 || width % 2 != 0)
        return false;
    const std::int64_t stride = static_cast<std::int64_t>(width) * 2;
    if (length < stride * height)
        return false;
    decodedWidth = width;
    decodedHeight = height;
    decoded.resize(static_cast<std::size_t>(width) * height * kBytesPerPixel);
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = data + stride * y;
        std::uint8_t* out = decoded.data() + static_cast<std::size_t>(y) * width * kBytesPerPixel;
        for (std::int32_t x = 0; x < width; x += 2, in += 4, out += 2 * kBytesPerPixel) {
            YuvToBgrx(in[0], in[1], in[3], out);
            YuvToBgrx(in[2], in[1], in[3], out + kBytesPerPixel);
        }
    }
    return true;
}

bool FrameConverter::ConvertRgb32(const std::uint8_t* data, std::int32_t length, std::int32_t width,
                                  std::int32_t height)
{
    // A positive height is a bottom-up bitmap, a negative one top-down.
    const bool bottomUp = height > 0;
    height = std::abs(height);
    if (width <= 0 || height <= 0)
        return false;
    const std::size_t stride = static_cast<std::size_t>(width) * kBytesPerPixel;
    if (static_cast<std::size_t>(length) < stride * static_cast<std::size_t>(height))
        return false;
    decodedWidth = width;
    decodedHeight = height;
    decoded.resize(stride * static_cast<std::size_t>(height));
    for (std::int32_t y = 0; y < height; ++y) {
        const std::int32_t sourceRow = bottomUp ? height - 1 - y : y;
        std::memcpy(decoded.data() + stride * static_cast<std::size_t>(y), data + stride * sourceRow, stride);
    }
    return true;
}

bool FrameConverter::Convert(const MediaType& type, const std::uint8_t* data, std::int32_t length,
                             std::int32_t targetWidth, std::int32_t targetHeight, VideoFrame* out)
{
    if (!data || length <= 0 || !out || targetWidth <= 0 || targetHeight <= 0)
        return false;
    std::int32_t width = 0, height = 0;
    bool ok = false;
    if (type.subType == MEDIASUBTYPE_MJPG)
        ok = DecodeJpeg(data, length, targetWidth, targetHeight);
    else if (type.subType == MEDIASUBTYPE_YUY2 && ReadVideoInfoSize(type, width, height))
        ok = ConvertYuy2(data, length, width, height);
    else if (type.subType == MEDIASUBTYPE_RGB32 && ReadVideoInfoSize(type, width, height))
        ok = ConvertRgb32(data, length, width, height);
    if (!ok)
        return false;

    out->width = targetWidth;
    out->height = targetHeight;
    out->stride = targetWidth * kBytesPerPixel;
    out->pixels.resize(static_cast<std::size_t>(out->stride) * targetHeight);
    if (decodedWidth == targetWidth && decodedHeight == targetHeight)
        std::memcpy(out->pixels.data(), decoded.data(), out->pixels.size());
    else
        ResampleBilinear(decoded.data(), decodedWidth, decodedHeight, decodedWidth * kBytesPerPixel,
                         out->pixels.data(), targetWidth, targetHeight, out->stride);
    return true;
}

void FrameConverter::ResampleBilinear(const std::uint8_t* source, std::int32_t sourceWidth,
                                      std::int32_t sourceHeight, std::int32_t sourceStride, std::uint8_t* target,
                                      std::int32_t targetWidth, std::int32_t targetHeight, std::int32_t targetStride)
{
    thread_local std::vector<Tap> columns;
    thread_local std::vector<Tap> rows;
    thread_local std::vector<std::uint16_t> upper;
    thread_local std::vector<std::uint16_t> lower;
    ComputeTaps(sourceWidth, targetWidth, columns);
    ComputeTaps(sourceHeight, targetHeight, rows);
    const std::size_t rowValues = static_cast<std::size_t>(targetWidth) * kBytesPerPixel;
    upper.resize(rowValues);
    lower.resize(rowValues);

    // Horizontal pass of one source row into 16-bit values (scaled by kWeightOne).
    auto horizontal = [&](std::int32_t sourceRow, std::vector<std::uint16_t>& out) {
        const std::uint8_t* in = source + static_cast<std::ptrdiff_t>(sourceStride) * sourceRow;
        std::uint16_t* o = out.data();
        for (std::int32_t x = 0; x < targetWidth; ++x, o += kBytesPerPixel) {
            const Tap& t = columns[static_cast<std::size_t>(x)];
            const std::uint8_t* a = in + t.first * kBytesPerPixel;
            const std::uint8_t* b = in + t.second * kBytesPerPixel;
            for (int c = 0; c < kBytesPerPixel; ++c)
                o[c] = static_cast<std::uint16_t>(a[c] * (kWeightOne - t.weight) + b[c] * t.weight);
        }
    };

    std::int32_t upperRow = -1, lowerRow = -1;
    for (std::int32_t y = 0; y < targetHeight; ++y) {
        const Tap& t = rows[static_cast<std::size_t>(y)];
        if (t.first == lowerRow && upperRow != lowerRow) {
            std::swap(upper, lower);
            upperRow = lowerRow;
            lowerRow = -1;
        }
        if (upperRow != t.first) {
            horizontal(t.first, upper);
            upperRow = t.first;
        }
        if (lowerRow != t.second) {
            if (t.second == upperRow)
                lower = upper;
            else
                horizontal(t.second, lower);
            lowerRow = t.second;
        }
        std::uint8_t* out = target + static_cast<std::ptrdiff_t>(targetStride) * y;
        const std::uint32_t wb = static_cast<std::uint32_t>(t.weight);
        const std::uint32_t wa = kWeightOne - wb;
        const std::uint16_t* a = upper.data();
        const std::uint16_t* b = lower.data();
        for (std::size_t i = 0; i < rowValues; ++i)
            out[i] = static_cast<std::uint8_t>((a[i] * wa + b[i] * wb + (1u << (2 * kWeightBits - 1))) >>
                                               (2 * kWeightBits));
    }
}

} // namespace vistrel
