#pragma once
// One streaming session on a V4L2 node: the format set, memory-mapped buffers queued, the stream on.
#include <cstdint>
#include <span>
#include <vector>

#include "capture/contract/Result.h"
#include "capture/linux/FormatList.h"

namespace vistrel::v4l2 {

class MmapSession
{
public:
    struct Frame
    {
        std::span<const std::uint8_t> bytes;
        double time = 0.0;      // seconds, the driver's monotonic capture time
        bool damaged = false;   // the driver flagged the transfer as faulty
        std::uint32_t index = 0;
    };

    explicit MmapSession(int fd) : fd(fd) {}
    ~MmapSession() { Close(); }
    MmapSession(const MmapSession&) = delete;
    MmapSession& operator=(const MmapSession&) = delete;

    // Sets the format exactly (VFW_E_TYPE_NOT_ACCEPTED when the driver picks another); a device held by
    // another program answers ERROR_SHARING_VIOLATION.
    HRESULT SetFormat(const lnx::FrameFormat& format);
    HRESULT Open(const lnx::FrameFormat& format);
    void Close();
    bool IsOpen() const { return streaming; }
    std::int32_t BytesPerLine() const { return bytesPerLine; }

    // 0 with a frame, EAGAIN when none is ready yet, or the driver's errno.
    int Dequeue(Frame* frame);
    void Requeue(const Frame& frame);

private:
    struct Buffer
    {
        void* start = nullptr;
        std::size_t length = 0;
    };

    int fd;
    std::vector<Buffer> buffers;
    bool streaming = false;
    bool buffersRequested = false;
    std::int32_t bytesPerLine = 0;
};

} // namespace vistrel::v4l2
