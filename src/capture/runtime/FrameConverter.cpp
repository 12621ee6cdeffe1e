#include "capture/runtime/FrameConverter.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vistrel {

namespace {

constexpr int kScaleDenominator = 8;
constexpr int kFastScaleNumerators[] = {1, 2, 4};
constexpr int kBytesPerPixel = 4;
constexpr int kWeightBits = 8;
constexpr int kWeightOne = 1 << kWeightBits;
// A decoded picture this close to the window's size (a 32nd short, an eighth off) is shown as it
// is: the surface stretches it while painting, which costs less than decoding twice the pixels or
// resampling every frame, painted or not.
constexpr int kShortFraction = 32;
constexpr int kNearFraction = 8;

bool CloseEnough(std::int32_t size, std::int32_t target)
{
    return std::abs(size - target) <= target / kNearFraction;
}

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

} // namespace

FrameConverter::FrameConverter() : decoder(tjInitDecompress()) {}

FrameConverter::~FrameConverter()
{
    if (decoder)
        tjDestroy(static_cast<tjhandle>(decoder));
}

// Centre-aligned sample positions of a bilinear resampling along one axis.
void FrameConverter::ComputeTaps(std::int32_t sourceSize, std::int32_t targetSize, std::vector<Tap>& taps)
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

int FrameConverter::ScaleNumeratorFor(std::int32_t width, std::int32_t height, std::int32_t targetWidth,
                                      std::int32_t targetHeight)
{
    // Only 1/8, 1/4 and 1/2 have SIMD inverse DCTs in libjpeg-turbo; the other eighths decode slower
    // than a full-size decode, so they are never worth it.
    for (const int numerator : kFastScaleNumerators)
        if (Scaled(width, numerator) >= targetWidth - targetWidth / kShortFraction &&
            Scaled(height, numerator) >= targetHeight - targetHeight / kShortFraction)
            return numerator;
    return kScaleDenominator;
}

bool FrameConverter::DecodeJpeg(const std::uint8_t* data, std::int32_t length, std::int32_t targetWidth,
                                std::int32_t targetHeight, VideoFrame* out)
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
    // Near the window's size the decoder writes the frame itself; otherwise a buffer to resample from.
    decodedIsFrame = CloseEnough(decodedWidth, targetWidth) && CloseEnough(decodedHeight, targetHeight);
    std::vector<std::uint8_t>& into = decodedIsFrame ? out->pixels : decoded;
    into.resize(static_cast<std::size_t>(decodedWidth) * decodedHeight * kBytesPerPixel);
    sourcePixels = into.data();
    sourceStride = static_cast<std::ptrdiff_t>(decodedWidth) * kBytesPerPixel;
    // A corrupt tail still yields a picture; only a hard error drops the frame.
    const int rc = tjDecompress2(handle, data, static_cast<unsigned long>(length), into.data(), decodedWidth,
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
    sourcePixels = decoded.data();
    sourceStride = static_cast<std::ptrdiff_t>(width) * kBytesPerPixel;
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
    // A positive height is a bottom-up bitmap, a negative one top-down. The pixels are read in place.
    const bool bottomUp = height > 0;
    height = std::abs(height);
    if (width <= 0 || height <= 0)
        return false;
    const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(width) * kBytesPerPixel;
    if (length < stride * height)
        return false;
    decodedWidth = width;
    decodedHeight = height;
    sourcePixels = bottomUp ? data + stride * (height - 1) : data;
    sourceStride = bottomUp ? -stride : stride;
    return true;
}

bool FrameConverter::Convert(const MediaType& type, const std::uint8_t* data, std::int32_t length,
                             std::int32_t targetWidth, std::int32_t targetHeight, VideoFrame* out)
{
    if (!data || length <= 0 || !out || targetWidth <= 0 || targetHeight <= 0)
        return false;
    std::int32_t width = 0, height = 0;
    bool ok = false;
    decodedIsFrame = false;
    if (type.subType == MEDIASUBTYPE_MJPG)
        ok = DecodeJpeg(data, length, targetWidth, targetHeight, out);
    else if (type.subType == MEDIASUBTYPE_YUY2 && ReadVideoInfoSize(type, width, height))
        ok = ConvertYuy2(data, length, width, height);
    else if (type.subType == MEDIASUBTYPE_RGB32 && ReadVideoInfoSize(type, width, height))
        ok = ConvertRgb32(data, length, width, height);
    if (!ok)
        return false;
    if (decodedIsFrame) {
        out->width = decodedWidth;
        out->height = decodedHeight;
        out->stride = decodedWidth * kBytesPerPixel;
        return true;
    }

    out->width = targetWidth;
    out->height = targetHeight;
    out->stride = targetWidth * kBytesPerPixel;
    out->pixels.resize(static_cast<std::size_t>(out->stride) * targetHeight);
    if (decodedWidth == targetWidth && decodedHeight == targetHeight) {
        const std::size_t rowBytes = static_cast<std::size_t>(out->stride);
        for (std::int32_t y = 0; y < targetHeight; ++y)
            std::memcpy(out->pixels.data() + rowBytes * y, sourcePixels + sourceStride * y, rowBytes);
    } else {
        ResampleBilinear(sourcePixels, decodedWidth, decodedHeight, sourceStride, out->pixels.data(), targetWidth,
                         targetHeight, out->stride);
    }
    return true;
}

void FrameConverter::ResampleBilinear(const std::uint8_t* source, std::int32_t sourceWidth,
                                      std::int32_t sourceHeight, std::ptrdiff_t sourceStride, std::uint8_t* target,
                                      std::int32_t targetWidth, std::int32_t targetHeight, std::int32_t targetStride)
{
    // Two 8-bit channels at a time in the 16-bit halves of a 32-bit word: a weighted sum of two
    // samples with weights adding up to 256 stays below 65536, so the halves never spill.
    constexpr std::uint32_t kEvenChannels = 0x00FF00FFu;
    auto blend = [](std::uint32_t a, std::uint32_t b, std::uint32_t wb) -> std::uint32_t {
        const std::uint32_t wa = kWeightOne - wb;
        const std::uint32_t even = ((a & kEvenChannels) * wa + (b & kEvenChannels) * wb + 0x00800080u) >> kWeightBits;
        const std::uint32_t odd = (((a >> 8) & kEvenChannels) * wa + ((b >> 8) & kEvenChannels) * wb + 0x00800080u) >>
                                  kWeightBits;
        return (even & kEvenChannels) | ((odd & kEvenChannels) << 8);
    };

    ComputeTaps(sourceWidth, targetWidth, columnTaps);
    ComputeTaps(sourceHeight, targetHeight, rowTaps);
    upperRow.resize(static_cast<std::size_t>(targetWidth));
    lowerRow.resize(static_cast<std::size_t>(targetWidth));
    const Tap* columns = columnTaps.data();
    std::uint32_t* upper = upperRow.data();
    std::uint32_t* lower = lowerRow.data();

    auto horizontal = [&](std::int32_t row, std::uint32_t* out) {
        const std::uint8_t* in = source + sourceStride * row;
        for (std::int32_t x = 0; x < targetWidth; ++x) {
            const Tap& t = columns[x];
            std::uint32_t a, b;
            std::memcpy(&a, in + t.first * kBytesPerPixel, sizeof a);
            std::memcpy(&b, in + t.second * kBytesPerPixel, sizeof b);
            out[x] = blend(a, b, static_cast<std::uint32_t>(t.weight));
        }
    };

    std::int32_t upperIndex = -1, lowerIndex = -1;
    for (std::int32_t y = 0; y < targetHeight; ++y) {
        const Tap& t = rowTaps[static_cast<std::size_t>(y)];
        if (t.first == lowerIndex && upperIndex != lowerIndex) {
            std::swap(upper, lower);
            upperIndex = lowerIndex;
            lowerIndex = -1;
        }
        if (upperIndex != t.first) {
            horizontal(t.first, upper);
            upperIndex = t.first;
        }
        if (lowerIndex != t.second) {
            if (t.second == upperIndex)
                std::memcpy(lower, upper, sizeof(std::uint32_t) * static_cast<std::size_t>(targetWidth));
            else
                horizontal(t.second, lower);
            lowerIndex = t.second;
        }
        auto* out = target + static_cast<std::ptrdiff_t>(targetStride) * y;
        const auto wb = static_cast<std::uint32_t>(t.weight);
        if (wb == 0) {
            std::memcpy(out, upper, sizeof(std::uint32_t) * static_cast<std::size_t>(targetWidth));
            continue;
        }
        for (std::int32_t x = 0; x < targetWidth; ++x) {
            const std::uint32_t v = blend(upper[x], lower[x], wb);
            std::memcpy(out + x * kBytesPerPixel, &v, sizeof v);
        }
    }
}

} // namespace vistrel
