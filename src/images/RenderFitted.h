#pragma once
#include "capture/contract/Result.h"

#include <QImage>

#include <cstdint>

namespace vistrel {

// Renders a still fitted into outW x outH (QImage::Format_RGB32) with black bands, oriented by
// (mirrored, rotation). W and H are the still's recorded size. A still that cannot be decoded or
// claims an absurd size gives a failure and a null image.
HRESULT RenderFitted(const std::uint8_t* bytes, std::int32_t size, std::int32_t W, std::int32_t H,
                     std::int32_t outW, std::int32_t outH, std::int32_t mirrored, std::int32_t rotation,
                     QImage* out);

} // namespace vistrel
