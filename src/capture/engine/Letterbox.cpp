#include "capture/engine/Letterbox.h"

namespace vistrel {

PreviewRect LetterboxRect(std::int32_t cw, std::int32_t ch, std::int32_t w, std::int32_t h)
{
    PreviewRect rect;
    const double widthRatio = static_cast<double>(w) / cw;
    const double heightRatio = static_cast<double>(h) / ch;
    // 64-bit products: a large control times a large picture must not overflow.
    if (widthRatio - heightRatio > 0)
        rect.top = static_cast<std::int32_t>((ch - static_cast<std::int64_t>(cw) * h / w) / 2);
    else
        rect.left = static_cast<std::int32_t>((cw - static_cast<std::int64_t>(w) * ch / h) / 2);
    rect.width = cw - 2 * rect.left;
    rect.height = ch - 2 * rect.top;
    return rect;
}

} // namespace vistrel
