#include "capture/sim/JpegEncoder.h"

#include <turbojpeg.h>

namespace vistrel::sim {

JpegEncoder::JpegEncoder() : handle(tjInitCompress()) {}

JpegEncoder::~JpegEncoder()
{
    if (buffer)
        tjFree(buffer);
    if (handle)
        tjDestroy(handle);
}

bool JpegEncoder::Encode(const std::uint8_t* rgb, std::int32_t width, std::int32_t height, int quality,
                         std::vector<std::uint8_t>* out)
{
    if (!handle || !out)
        return false;
    // Keep the largest buffer so a steady stream does not allocate per frame.
    const unsigned long needed = tjBufSize(width, height, TJSAMP_420);
    if (needed > capacity) {
        if (buffer)
            tjFree(buffer);
        buffer = tjAlloc(int(needed));
        capacity = buffer ? needed : 0;
    }
    if (!buffer)
        return false;
    unsigned long size = capacity;
    if (tjCompress2(handle, rgb, width, 0, height, TJPF_RGB, &buffer, &size, TJSAMP_420, quality,
                    TJFLAG_NOREALLOC) != 0)
        return false;
    out->assign(buffer, buffer + size);
    return true;
}

} // namespace vistrel::sim
