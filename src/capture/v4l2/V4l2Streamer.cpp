#include "capture/v4l2/V4l2Streamer.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "capture/uvc/StillJpeg.h"

namespace vistrel::v4l2 {

namespace {

// The first frame after a format switch often carries the previous exposure or a partial transfer.
constexpr int kStillFramesToSkip = 1;
// A device that sends no frame at all must not hold the thread forever.
constexpr int kStillFrameWaitMs = 5000;
constexpr int kStillQuality = 100;

} // namespace

V4l2Streamer::V4l2Streamer(int fd) : fd(fd), session(fd)
{
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0) {
        wakeRead = ends[0];
        wakeWrite = ends[1];
    }
}

V4l2Streamer::~V4l2Streamer()
{
    Stop();
    if (wakeRead >= 0)
        ::close(wakeRead);
    if (wakeWrite >= 0)
        ::close(wakeWrite);
}

HRESULT V4l2Streamer::Start(Plan newPlan)
{
    Stop();
    if (fd < 0 || wakeRead < 0)
        return E_FAIL;
    plan = std::move(newPlan);
    HRESULT hr = S_OK;
    if (plan.preview)
        hr = session.Open(*plan.preview);
    else if (plan.still)
        hr = session.SetFormat(*plan.still); // the format claims the device for us
    if (Failed(hr)) {
        session.Close();
        return hr;
    }
    stopping = false;
    stillsWanted = 0;
    deviceLost = false;
    firstFrameTime.reset();
    thread = std::thread([this] { Run(); });
    return S_OK;
}

void V4l2Streamer::RequestStill()
{
    if (!thread.joinable() || !plan.still)
        return;
    ++stillsWanted;
    Wake();
}

void V4l2Streamer::Stop()
{
    if (thread.joinable()) {
        stopping = true;
        Wake();
        thread.join();
    }
    session.Close();
}

void V4l2Streamer::Wake()
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(wakeWrite, &byte, 1);
}

V4l2Streamer::Wait V4l2Streamer::WaitForFrame(int timeoutMs)
{
    const bool watchDevice = session.IsOpen() && !deviceLost;
    pollfd fds[2] = {{wakeRead, POLLIN, 0}, {fd, POLLIN, 0}};
    const int ready = ::poll(fds, watchDevice ? 2 : 1, timeoutMs);
    if (ready == 0)
        return Wait::TimedOut;
    if (ready < 0)
        return Wait::Woken; // interrupted: the caller looks at its flags again
    if (fds[0].revents & POLLIN) {
        char drain[64];
        while (::read(wakeRead, drain, sizeof drain) > 0) {
        }
    }
    if (!watchDevice)
        return Wait::Woken;
    if (fds[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
        deviceLost = true; // unplugged, or the stream broke: stay quiet until stopped
        session.Close();
        return Wait::Lost;
    }
    return (fds[1].revents & POLLIN) ? Wait::Frame : Wait::Woken;
}

void V4l2Streamer::Run()
{
    while (!stopping) {
        if (stillsWanted > 0) {
            TakeStills();
            continue;
        }
        if (WaitForFrame(-1) != Wait::Frame)
            continue;
        MmapSession::Frame frame;
        const int error = session.Dequeue(&frame);
        if (error == ENODEV) {
            deviceLost = true;
            session.Close();
        }
        if (error)
            continue;
        if (!frame.damaged)
            DeliverPreview(frame);
        session.Requeue(frame);
    }
}

void V4l2Streamer::DeliverPreview(const MmapSession::Frame& frame)
{
    if (!plan.onPreview || !plan.preview)
        return;
    if (!firstFrameTime)
        firstFrameTime = frame.time;
    const double time = frame.time - *firstFrameTime;
    const lnx::FrameFormat& format = *plan.preview;
    if (format.fourcc != V4L2_PIX_FMT_YUYV) {
        if (uvc::LooksLikeJpeg(frame.bytes))
            plan.onPreview(frame.bytes, time);
        return;
    }
    const std::size_t row = static_cast<std::size_t>(format.width) * 2;
    const std::size_t stride = std::max<std::size_t>(row, static_cast<std::size_t>(session.BytesPerLine()));
    const auto height = static_cast<std::size_t>(format.height);
    if (height == 0 || frame.bytes.size() < stride * (height - 1) + row)
        return; // a short frame
    if (stride == row) {
        plan.onPreview(frame.bytes.first(row * height), time);
        return;
    }
    packed.resize(row * height);
    for (std::size_t y = 0; y < height; ++y)
        std::memcpy(packed.data() + y * row, frame.bytes.data() + y * stride, row);
    plan.onPreview(packed, time);
}

void V4l2Streamer::TakeStills()
{
    session.Close();
    if (deviceLost || Failed(session.Open(*plan.still))) {
        stillsWanted = 0; // nothing will come; the engine's time-out tells the user
    } else {
        const lnx::FrameFormat& format = *plan.still;
        int skipped = 0;
        while (!stopping && stillsWanted > 0) {
            const Wait wait = WaitForFrame(kStillFrameWaitMs);
            if (wait == Wait::TimedOut || wait == Wait::Lost) {
                stillsWanted = 0; // nothing will come; the engine's time-out tells the user
                break;
            }
            if (wait == Wait::Woken)
                continue;
            MmapSession::Frame frame;
            if (session.Dequeue(&frame) != 0)
                continue;
            std::vector<std::uint8_t> jpeg;
            if (!frame.damaged && skipped++ >= kStillFramesToSkip) {
                jpeg = format.fourcc == V4L2_PIX_FMT_YUYV
                           ? uvc::JpegFromYuyv(frame.bytes, format.width, format.height,
                                          std::max(session.BytesPerLine(), format.width * 2), kStillQuality)
                           : (uvc::LooksLikeJpeg(frame.bytes) ? uvc::WithHuffmanTables(frame.bytes) : jpeg);
            }
            const double time = frame.time - firstFrameTime.value_or(frame.time);
            session.Requeue(frame);
            if (!jpeg.empty()) {
                --stillsWanted;
                if (plan.onStill)
                    plan.onStill(jpeg, time);
            }
        }
        session.Close();
    }
    if (plan.preview && !deviceLost && !stopping)
        session.Open(*plan.preview); // a failure leaves the preview still; the thread idles until stopped
}

} // namespace vistrel::v4l2
