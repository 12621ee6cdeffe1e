#pragma once
#include "capture/contract/Result.h"
#include "images/CaptureTime.h"
#include "images/ScratchBuffer.h"

#include <QString>

#include <array>
#include <cstdint>
#include <string_view>

class QIODevice;

namespace vistrel {

// A bitmap to encode: 4 bytes per pixel, in memory order B, G, R, X (QImage::Format_RGB32).
struct PixelView
{
    const std::uint8_t* pixels = nullptr;
    std::int32_t width = 0, height = 0, stride = 0;
};

struct SaveMetadata
{
    CaptureTime captureTime;          // written as the moment the picture was taken
    std::int32_t dotsPerInch = 0;     // 0 = no resolution
};

// work (may be null) is memory the encoder may reuse between calls.
using EncodeFunction = HRESULT (*)(const PixelView& image, const SaveMetadata& metadata, QIODevice& out,
                                   QString* reason, ScratchBuffer* work);

struct ImageEncoder
{
    const char* mimeType;
    const char* extension;
    EncodeFunction encode;
};

// Our writers, in order: "image/jpeg" (quality 100, 4:4:4) and "image/tiff" (8-bit RGB, lossless).
const std::array<ImageEncoder, 2>& ImageEncoders();

// Index of the writer whose MIME type equals mimeType exactly (case-sensitive), -1 when none.
int FindEncoder(std::string_view mimeType, const ImageEncoder** encoder = nullptr);

HRESULT EncodeJpeg(const PixelView& image, const SaveMetadata& metadata, QIODevice& out, QString* reason,
                   ScratchBuffer* work = nullptr);
HRESULT EncodeTiff(const PixelView& image, const SaveMetadata& metadata, QIODevice& out, QString* reason,
                   ScratchBuffer* work = nullptr);

} // namespace vistrel
