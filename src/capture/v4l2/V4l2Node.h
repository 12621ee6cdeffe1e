#pragma once
// An open V4L2 device node: its controls, uvcvideo's unit queries and its frame formats.
#include <memory>
#include <string>
#include <vector>

#include "capture/linux/FormatList.h"
#include "capture/v4l2/V4l2Io.h"
#include "capture/linux/VideoNodes.h"

namespace vistrel::v4l2 {

// ioctl that retries when interrupted; 0 or errno.
int Ioctl(int fd, unsigned long request, void* argument);

class V4l2Node final : public IV4l2Io
{
public:
    // A node that cannot be opened still makes an object; every request then answers its open error.
    static std::shared_ptr<V4l2Node> Open(const std::string& devNode);
    ~V4l2Node() override;
    V4l2Node(const V4l2Node&) = delete;
    V4l2Node& operator=(const V4l2Node&) = delete;

    int QueryControl(std::uint32_t id, uvc::ControlRange* range) override;
    int GetControl(std::uint32_t id, std::int32_t* value) override;
    int SetControl(std::uint32_t id, std::int32_t value) override;
    int UvcQuery(std::uint8_t unit, std::uint8_t selector, std::uint8_t query, std::uint8_t* data,
                 std::uint16_t size) override;
    int Descriptor() const override { return fd; }
    int OpenError() const override { return openError; }

private:
    V4l2Node(int fd, int openError) : fd(fd), openError(openError) {}
    int Request(unsigned long request, void* argument);

    int fd = -1;
    int openError = 0;
};

// Whether the node streams video frames (metadata and output nodes do not), or why it cannot be opened.
lnx::NodeProbe ProbeNode(const std::string& devNode);
// Every MJPG/JPEG/YUYV frame size the node offers, at its fastest frame rate, in device order.
std::vector<lnx::FrameFormat> EnumerateFrameFormats(int fd);

} // namespace vistrel::v4l2
