#pragma once
#include "capture/contract/Result.h"

#include <QImage>
#include <QSize>

#include <cstdint>
#include <span>

namespace vistrel {

// Renders a still fitted into outW x outH (QImage::Format_RGB32) with black bands, oriented by
// (mirrored, rotation). W and H are the still's recorded size. A still that cannot be decoded or
// claims an absurd size gives a failure and a null image.
HRESULT RenderFitted(const std::uint8_t* bytes, std::int32_t size, std::int32_t W, std::int32_t H,
                     std::int32_t outW, std::int32_t outH, std::int32_t mirrored, std::int32_t rotation,
                     QImage* out);

// The same for several sizes at once (a selection's preview and thumbnail) from one decode, at the
// DCT scale that the largest of them needs. out[i] receives sizes[i]; an empty size gives a null image.
HRESULT RenderFitted(const std::uint8_t* bytes, std::int32_t size, std::int32_t W, std::int32_t H,
                     std::span<const QSize> sizes, std::int32_t mirrored, std::int32_t rotation,
                     std::span<QImage> out);

} // namespace vistrel
