#pragma once
#include "capture/contract/Reason.h"
#include "capture/contract/Result.h"
#include "images/CaptureTime.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace vistrel {

class FileSink;

// A bitmap: 4 bytes per pixel, in memory order B, G, R, X (QImage::Format_RGB32).
struct PixelView
{
    const std::uint8_t* pixels = nullptr;
    std::int32_t width = 0, height = 0, stride = 0;
};

// A picture that an encoder pulls a band of rows at a time, so nobody holds all of it: fill writes
// rows [first, first + count) in the pixel order of PixelView, one row every stride bytes. Bands
// come in order from the top.
struct RowSource
{
    std::int32_t width = 0, height = 0;
    std::function<void(std::int32_t first, std::int32_t count, std::uint8_t* band, std::ptrdiff_t stride)> fill;
};

// A whole bitmap handed out as rows; it must outlive the source.
RowSource RowsOf(const PixelView& image);

struct SaveMetadata
{
    CaptureTime captureTime;          // written as the moment the picture was taken
    std::int32_t dotsPerInch = 0;     // 0 = no resolution
};

// Failures set reason: WriteFailed with the system's error when the file could not be written,
// EncodeFailed with the library's words otherwise.
using EncodeFunction = HRESULT (*)(const RowSource& picture, const SaveMetadata& metadata, FileSink& out,
                                   Reason* reason);

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

HRESULT EncodeJpeg(const RowSource& picture, const SaveMetadata& metadata, FileSink& out, Reason* reason);
HRESULT EncodeTiff(const RowSource& picture, const SaveMetadata& metadata, FileSink& out, Reason* reason);

} // namespace vistrel
