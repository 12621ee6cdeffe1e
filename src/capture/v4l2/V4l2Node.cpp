#include "capture/v4l2/V4l2Node.h"

#include <fcntl.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace vistrel::v4l2 {

int Ioctl(int fd, unsigned long request, void* argument)
{
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result == -1 && errno == EINTR);
    return result == -1 ? errno : 0;
}

std::shared_ptr<V4l2Node> V4l2Node::Open(const std::string& devNode)
{
    const int fd = ::open(devNode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    const int error = fd < 0 ? errno : 0;
    return std::shared_ptr<V4l2Node>(new V4l2Node(fd, error));
}

V4l2Node::~V4l2Node()
{
    if (fd >= 0)
        ::close(fd);
}

int V4l2Node::Request(unsigned long request, void* argument)
{
    return fd < 0 ? openError : Ioctl(fd, request, argument);
}

int V4l2Node::QueryControl(std::uint32_t id, uvc::ControlRange* range)
{
    v4l2_queryctrl query {};
    query.id = id;
    if (const int error = Request(VIDIOC_QUERYCTRL, &query))
        return error;
    switch (query.type) {
    case V4L2_CTRL_TYPE_INTEGER:
    case V4L2_CTRL_TYPE_BOOLEAN:
    case V4L2_CTRL_TYPE_MENU:
    case V4L2_CTRL_TYPE_INTEGER_MENU:
        break;
    default:
        return EINVAL; // buttons and the like hold no value
    }
    *range = {query.minimum, query.maximum, query.step, query.default_value,
              (query.flags & V4L2_CTRL_FLAG_DISABLED) != 0};
    return 0;
}

int V4l2Node::GetControl(std::uint32_t id, std::int32_t* value)
{
    v4l2_control control {id, 0};
    const int error = Request(VIDIOC_G_CTRL, &control);
    if (!error)
        *value = control.value;
    return error;
}

int V4l2Node::SetControl(std::uint32_t id, std::int32_t value)
{
    v4l2_control control {id, value};
    return Request(VIDIOC_S_CTRL, &control);
}

int V4l2Node::UvcQuery(std::uint8_t unit, std::uint8_t selector, std::uint8_t query, std::uint8_t* data,
                       std::uint16_t size)
{
    uvc_xu_control_query request {};
    request.unit = unit;
    request.selector = selector;
    request.query = query;
    request.size = size;
    request.data = data;
    return Request(UVCIOC_CTRL_QUERY, &request);
}

lnx::NodeProbe ProbeNode(const std::string& devNode)
{
    const int fd = ::open(devNode.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {false, errno};
    v4l2_capability caps {};
    const int error = Ioctl(fd, VIDIOC_QUERYCAP, &caps);
    ::close(fd);
    if (error)
        return {};
    const std::uint32_t nodeCaps = (caps.capabilities & V4L2_CAP_DEVICE_CAPS) ? caps.device_caps : caps.capabilities;
    return {(nodeCaps & V4L2_CAP_VIDEO_CAPTURE) && (nodeCaps & V4L2_CAP_STREAMING), 0};
}

namespace {

// The shortest frame interval the node offers at this size (fastest rate).
void FastestInterval(int fd, lnx::FrameFormat& frame)
{
    v4l2_frmivalenum ival {};
    ival.pixel_format = frame.fourcc;
    ival.width = static_cast<std::uint32_t>(frame.width);
    ival.height = static_cast<std::uint32_t>(frame.height);
    for (ival.index = 0; Ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &ival) == 0; ++ival.index) {
        const v4l2_fract f = ival.type == V4L2_FRMIVAL_TYPE_DISCRETE ? ival.discrete : ival.stepwise.min;
        if (f.denominator == 0)
            continue;
        const bool faster = frame.intervalDenominator == 0 ||
                            std::uint64_t {f.numerator} * frame.intervalDenominator <
                                std::uint64_t {frame.intervalNumerator} * f.denominator;
        if (faster) {
            frame.intervalNumerator = f.numerator;
            frame.intervalDenominator = f.denominator;
        }
        if (ival.type != V4L2_FRMIVAL_TYPE_DISCRETE)
            break;
    }
}

} // namespace

std::vector<lnx::FrameFormat> EnumerateFrameFormats(int fd)
{
    std::vector<lnx::FrameFormat> frames;
    if (fd < 0)
        return frames;
    v4l2_fmtdesc desc {};
    desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (desc.index = 0; Ioctl(fd, VIDIOC_ENUM_FMT, &desc) == 0; ++desc.index) {
        if (!lnx::SubtypeForFourcc(desc.pixelformat))
            continue;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> sizes;
        v4l2_frmsizeenum size {};
        size.pixel_format = desc.pixelformat;
        for (size.index = 0; Ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
            if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                sizes.emplace_back(size.discrete.width, size.discrete.height);
            } else { // a range: its two ends
                sizes.emplace_back(size.stepwise.min_width, size.stepwise.min_height);
                sizes.emplace_back(size.stepwise.max_width, size.stepwise.max_height);
                break;
            }
        }
        for (const auto& [width, height] : sizes) {
            std::optional<lnx::FrameFormat> sized = lnx::FrameFormatOfSize(desc.pixelformat, width, height);
            if (!sized)
                continue;
            lnx::FrameFormat frame = *sized;
            FastestInterval(fd, frame);
            frames.push_back(frame);
        }
    }
    return frames;
}

} // namespace vistrel::v4l2
