#include "images/Encoders.h"

#include "images/TiffWriter.h"

#include <cstring>

namespace vistrel {

const std::array<ImageEncoder, 2>& ImageEncoders()
{
    static const std::array<ImageEncoder, 2> encoders = {{
        {"image/jpeg", "jpg", &EncodeJpeg},
        {"image/tiff", "tif", &EncodeTiff},
    }};
    return encoders;
}

int FindEncoder(std::string_view mimeType, const ImageEncoder** encoder)
{
    const auto& encoders = ImageEncoders();
    for (std::size_t i = 0; i < encoders.size(); ++i) {
        if (mimeType == encoders[i].mimeType) {
            if (encoder) {
                *encoder = &encoders[i];
            }
            return static_cast<int>(i);
        }
    }
    return -1;
}

RowSource RowsOf(const PixelView& image)
{
    return {image.width, image.height,
            [image](std::int32_t first, std::int32_t count, std::uint8_t* band, std::ptrdiff_t stride) {
                for (std::int32_t y = 0; y < count; ++y) {
                    std::memcpy(band + y * stride, image.pixels + static_cast<std::ptrdiff_t>(first + y) * image.stride,
                                static_cast<std::size_t>(image.width) * 4);
                }
            }};
}

HRESULT EncodeTiff(const RowSource& picture, const SaveMetadata& metadata, FileSink& out, Reason* reason)
{
    return WriteTiff(picture, metadata, out, DefaultTiffOptions(), reason);
}

} // namespace vistrel
