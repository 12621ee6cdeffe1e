#pragma once
// Packed RGB to a complete JPEG file in memory (libjpeg-turbo); one encoder per thread.
#include <cstdint>
#include <vector>

namespace vistrel::sim {

class JpegEncoder {
public:
    JpegEncoder();
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    bool Encode(const std::uint8_t* rgb, std::int32_t width, std::int32_t height, int quality,
                std::vector<std::uint8_t>* out);

private:
    void* handle = nullptr;
    unsigned char* buffer = nullptr; // reused between frames
    unsigned long capacity = 0;
};

} // namespace vistrel::sim
