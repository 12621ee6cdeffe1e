#include "images/StillCheck.h"

#include <turbojpeg.h>

#include <memory>

namespace vistrel {

StillCheck CheckStill(const std::uint8_t* bytes, std::int32_t size, std::int32_t* width, std::int32_t* height)
{
    if (width) {
        *width = 0;
    }
    if (height) {
        *height = 0;
    }
    if (!bytes || size <= 0) {
        return StillCheck::NotDecodable;
    }
    const std::unique_ptr<void, int (*)(tjhandle)> decoder(tjInitDecompress(), tjDestroy);
    if (!decoder) {
        return StillCheck::NotDecodable;
    }
    int w = 0, h = 0, subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(decoder.get(), bytes, static_cast<unsigned long>(size), &w, &h, &subsampling,
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

} // namespace vistrel
