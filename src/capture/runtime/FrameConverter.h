#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "capture/contract/Graph.h"
#include "capture/contract/MediaType.h"

namespace vistrel {

// Turns one MJPEG, YUY2 or RGB32 sample into xRGB pixels of a given size: JPEG is decoded at the
// smallest fast DCT scale that (nearly) covers the target. When that is close to the target size the
// decoder writes the frame directly and the frame keeps the decoded size, for the surface to stretch
// as it paints; otherwise, and for the other formats, the picture is resampled bilinearly to the
// target. Not thread-safe: one converter per streaming thread; its buffers are reused from frame to
// frame.
class FrameConverter {
public:
    FrameConverter();
    ~FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;

    // False when the sample cannot be converted (unknown subtype, short or corrupt data).
    bool Convert(const MediaType& type, const std::uint8_t* data, std::int32_t length, std::int32_t targetWidth,
                 std::int32_t targetHeight, VideoFrame* out);

    // The fast DCT scale (1, 2, 4 or 8 over 8) whose output is the smallest that reaches the target in
    // both directions, or falls short of it by at most a 32nd; 8 when even the full size is smaller.
    static int ScaleNumeratorFor(std::int32_t width, std::int32_t height, std::int32_t targetWidth,
                                 std::int32_t targetHeight);

    // sourceStride may be negative (a bottom-up bitmap read from its last row).
    void ResampleBilinear(const std::uint8_t* source, std::int32_t sourceWidth, std::int32_t sourceHeight,
                          std::ptrdiff_t sourceStride, std::uint8_t* target, std::int32_t targetWidth,
                          std::int32_t targetHeight, std::int32_t targetStride);

private:
    // One axis of a bilinear resampling: the two source samples of a target sample, and the second's weight.
    struct Tap {
        std::int32_t first;
        std::int32_t second;
        std::int32_t weight; // of the second sample, out of 256
    };
    static void ComputeTaps(std::int32_t sourceSize, std::int32_t targetSize, std::vector<Tap>& taps);

    bool DecodeJpeg(const std::uint8_t* data, std::int32_t length, std::int32_t targetWidth, std::int32_t targetHeight,
                    VideoFrame* out);
    bool ConvertYuy2(const std::uint8_t* data, std::int32_t length, std::int32_t width, std::int32_t height);
    bool ConvertRgb32(const std::uint8_t* data, std::int32_t length, std::int32_t width, std::int32_t height);

    void* decoder = nullptr;                 // tjhandle
    std::vector<std::uint8_t> decoded;       // xRGB at the decoded size
    std::int32_t decodedWidth = 0;
    std::int32_t decodedHeight = 0;
    const std::uint8_t* sourcePixels = nullptr; // what gets resampled: decoded, or the sample itself
    std::ptrdiff_t sourceStride = 0;
    bool decodedIsFrame = false;               // the JPEG was decoded straight into the frame
    // The resampler's scratch, kept here rather than per thread: mingw-w64 frees a thread's thread-local
    // storage before it destroys the objects in it, so a thread-local vector would free a pointer read
    // from freed memory whenever its streaming thread ends.
    std::vector<Tap> columnTaps;
    std::vector<Tap> rowTaps;
    std::vector<std::uint32_t> upperRow;
    std::vector<std::uint32_t> lowerRow;
};

} // namespace vistrel
