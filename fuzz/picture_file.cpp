// A picture file the user names for the simulated devices (JPEG or binary PPM), read through a path as
// the simulator reads it, then scaled as the live picture scales it.
#include "capture/sim/PictureFile.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace vistrel::sim;
    const int fd = memfd_create("picture", MFD_CLOEXEC);
    if (fd < 0)
        std::abort();
    if (write(fd, data, size) != static_cast<ssize_t>(size))
        std::abort();
    std::string error;
    const auto picture = LoadPictureFile("/proc/self/fd/" + std::to_string(fd), &error);
    close(fd);
    if (!picture) {
        if (error.empty())
            std::abort();   // a refusal always says why
        return 0;
    }
    if (picture->width <= 0 || picture->height <= 0 ||
        picture->pixels.size() != std::size_t(picture->width) * std::size_t(picture->height) * 3)
        std::abort();
    const RgbImage scaled = ResampleToCover(*picture, 64, 48);
    if (scaled.width != 64 || scaled.height != 48)
        std::abort();
    return 0;
}
