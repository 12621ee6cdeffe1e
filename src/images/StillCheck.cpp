#include "images/StillCheck.h"

#include <turbojpeg.h>

#include <memory>
#include <vector>

namespace vistrel {

namespace {

using Decoder = std::unique_ptr<void, int (*)(tjhandle)>;

StillCheck ReadHeader(tjhandle decoder, const std::uint8_t* bytes, std::int32_t size, std::int32_t* width,
                      std::int32_t* height)
{
    if (width) {
        *width = 0;
    }
    if (height) {
        *height = 0;
    }
    if (!decoder || !bytes || size <= 0) {
        return StillCheck::NotDecodable;
    }
    int w = 0, h = 0, subsampling = 0, colourspace = 0;
    // A file of tables only (SOI, EOI) reads as a header of size 0.
    if (tjDecompressHeader3(decoder, bytes, static_cast<unsigned long>(size), &w, &h, &subsampling,
                            &colourspace) != 0 || w <= 0 || h <= 0) {
        return StillCheck::NotDecodable;
    }
    if (width) {
        *width = w;
    }
    if (height) {
        *height = h;
    }
    return static_cast<std::int64_t>(w) * h > kMaxStillPixels ? StillCheck::TooLarge : StillCheck::Ok;
}

tjscalingfactor SmallestScale()
{
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    tjscalingfactor smallest{1, 1};
    for (int i = 0; i < count; ++i) {
        if (static_cast<std::int64_t>(factors[i].num) * smallest.denom <
            static_cast<std::int64_t>(smallest.num) * factors[i].denom) {
            smallest = factors[i];
        }
    }
    return smallest;
}

} // namespace

StillCheck CheckStillHeader(const std::uint8_t* bytes, std::int32_t size, std::int32_t* width, std::int32_t* height)
{
    const Decoder decoder(tjInitDecompress(), tjDestroy);
    return ReadHeader(decoder.get(), bytes, size, width, height);
}

StillCheck CheckStill(const std::uint8_t* bytes, std::int32_t size, std::int32_t* width, std::int32_t* height)
{
    const Decoder decoder(tjInitDecompress(), tjDestroy);
    std::int32_t w = 0, h = 0;
    const StillCheck header = ReadHeader(decoder.get(), bytes, size, &w, &h);
    if (width) {
        *width = w;
    }
    if (height) {
        *height = h;
    }
    if (header != StillCheck::Ok) {
        return header;
    }
    const tjscalingfactor scale = SmallestScale();
    const int scaledWidth = TJSCALED(w, scale);
    const int scaledHeight = TJSCALED(h, scale);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(scaledWidth) * scaledHeight * tjPixelSize[TJPF_RGB]);
    if (tjDecompress2(decoder.get(), bytes, static_cast<unsigned long>(size), pixels.data(), scaledWidth, 0,
                      scaledHeight, TJPF_RGB, TJFLAG_STOPONWARNING) != 0) {
        return tjGetErrorCode(decoder.get()) == TJERR_WARNING ? StillCheck::Damaged : StillCheck::NotDecodable;
    }
    return StillCheck::Ok;
}

} // namespace vistrel
