#include "capture/v4l2/MmapSession.h"

#include <linux/videodev2.h>
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>

#include "capture/contract/Filter.h"
#include "capture/linux/ErrnoResult.h"
#include "capture/v4l2/V4l2Node.h"

namespace vistrel::v4l2 {

namespace {

constexpr std::uint32_t kBufferCount = 4;
constexpr std::uint32_t kFewestBuffers = 2;

} // namespace

HRESULT MmapSession::SetFormat(const lnx::FrameFormat& format)
{
    v4l2_format f {};
    f.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    f.fmt.pix.width = static_cast<std::uint32_t>(format.width);
    f.fmt.pix.height = static_cast<std::uint32_t>(format.height);
    f.fmt.pix.pixelformat = format.fourcc;
    f.fmt.pix.field = V4L2_FIELD_ANY;
    if (const int error = Ioctl(fd, VIDIOC_S_FMT, &f))
        return lnx::StreamResultFromErrno(error);
    if (f.fmt.pix.width != static_cast<std::uint32_t>(format.width) ||
        f.fmt.pix.height != static_cast<std::uint32_t>(format.height) || f.fmt.pix.pixelformat != format.fourcc)
        return VFW_E_TYPE_NOT_ACCEPTED;
    bytesPerLine = static_cast<std::int32_t>(f.fmt.pix.bytesperline);
    if (format.intervalDenominator != 0) {
        v4l2_streamparm parm {};
        parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        parm.parm.capture.timeperframe = {format.intervalNumerator, format.intervalDenominator};
        Ioctl(fd, VIDIOC_S_PARM, &parm); // a rate the driver adjusts is still a working stream
    }
    return S_OK;
}

HRESULT MmapSession::Open(const lnx::FrameFormat& format)
{
    Close();
    if (const HRESULT hr = SetFormat(format); Failed(hr))
        return hr;
    v4l2_requestbuffers request {};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (const int error = Ioctl(fd, VIDIOC_REQBUFS, &request))
        return lnx::StreamResultFromErrno(error);
    buffersRequested = true;
    HRESULT hr = request.count < kFewestBuffers ? HresultFromWin32(ERROR_NO_SYSTEM_RESOURCES) : S_OK;
    for (std::uint32_t i = 0; Succeeded(hr) && i < request.count; ++i) {
        v4l2_buffer buffer {};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = i;
        if (const int error = Ioctl(fd, VIDIOC_QUERYBUF, &buffer)) {
            hr = lnx::StreamResultFromErrno(error);
            break;
        }
        void* start = ::mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, buffer.m.offset);
        if (start == MAP_FAILED) {
            hr = lnx::StreamResultFromErrno(errno);
            break;
        }
        buffers.push_back({start, buffer.length});
        if (const int error = Ioctl(fd, VIDIOC_QBUF, &buffer))
            hr = lnx::StreamResultFromErrno(error);
    }
    if (Succeeded(hr)) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (const int error = Ioctl(fd, VIDIOC_STREAMON, &type))
            hr = lnx::StreamResultFromErrno(error);
    }
    streaming = Succeeded(hr);
    if (!streaming)
        Close();
    return hr;
}

void MmapSession::Close()
{
    if (streaming) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        Ioctl(fd, VIDIOC_STREAMOFF, &type);
        streaming = false;
    }
    for (const Buffer& b : buffers)
        ::munmap(b.start, b.length);
    buffers.clear();
    if (buffersRequested) { // give the buffers back so the device is free for others
        buffersRequested = false;
        v4l2_requestbuffers request {};
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        Ioctl(fd, VIDIOC_REQBUFS, &request);
    }
}

int MmapSession::Dequeue(Frame* frame)
{
    v4l2_buffer buffer {};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    if (const int error = Ioctl(fd, VIDIOC_DQBUF, &buffer))
        return error;
    if (buffer.index >= buffers.size())
        return EIO;
    const Buffer& b = buffers[buffer.index];
    const std::size_t used = std::min<std::size_t>(buffer.bytesused, b.length);
    frame->bytes = {static_cast<const std::uint8_t*>(b.start), used};
    frame->time = static_cast<double>(buffer.timestamp.tv_sec) + buffer.timestamp.tv_usec / 1e6;
    frame->damaged = (buffer.flags & V4L2_BUF_FLAG_ERROR) != 0 || used == 0;
    frame->index = buffer.index;
    return 0;
}

void MmapSession::Requeue(const Frame& frame)
{
    v4l2_buffer buffer {};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    buffer.index = frame.index;
    Ioctl(fd, VIDIOC_QBUF, &buffer);
}

} // namespace vistrel::v4l2
