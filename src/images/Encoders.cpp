#include "images/Encoders.h"

#include "images/TiffWriter.h"

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

HRESULT EncodeTiff(const PixelView& image, const SaveMetadata& metadata, QIODevice& out, QString* reason,
                   ScratchBuffer*)
{
    return WriteTiff(image, metadata, out, DefaultTiffOptions(), reason);
}

} // namespace vistrel
