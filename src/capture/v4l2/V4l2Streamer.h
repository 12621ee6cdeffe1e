#pragma once
// The streaming thread of a running device: live frames at the preview format, and on request one still
// taken by switching the stream to the still format for a frame and back.
#include <atomic>
#include <functional>
#include <optional>
#include <span>
#include <thread>

#include "capture/v4l2/MmapSession.h"

namespace vistrel::v4l2 {

class V4l2Streamer
{
public:
    using FrameSink = std::function<void(std::span<const std::uint8_t> bytes, double time)>;

    struct Plan
    {
        std::optional<lnx::FrameFormat> preview;  // none: nothing streams until a still is wanted
        std::optional<lnx::FrameFormat> still;    // none: still requests are dropped
        FrameSink onPreview;                 // a live frame as the device sent it (packed rows)
        FrameSink onStill;                   // a still as a complete JPEG file
    };

    explicit V4l2Streamer(int fd);
    ~V4l2Streamer();
    V4l2Streamer(const V4l2Streamer&) = delete;
    V4l2Streamer& operator=(const V4l2Streamer&) = delete;

    // Opens the preview stream (or claims the device at the still format) on the calling thread, so a
    // device held elsewhere is reported here, then starts the thread.
    HRESULT Start(Plan plan);
    void RequestStill();
    // Returns once the thread has ended and the device's buffers are released.
    void Stop();

private:
    void Run();
    enum class Wait { Frame, Woken, TimedOut, Lost };
    // Waits for a frame or a wake-up (timeoutMs -1: no limit).
    Wait WaitForFrame(int timeoutMs);
    void Wake();
    void DeliverPreview(const MmapSession::Frame& frame);
    void TakeStills();

    int fd;
    int wakeRead = -1;
    int wakeWrite = -1;
    Plan plan;
    MmapSession session;
    std::thread thread;
    std::atomic<bool> stopping {false};
    std::atomic<int> stillsWanted {0};
    bool deviceLost = false;
    std::optional<double> firstFrameTime;
    std::vector<std::uint8_t> packed; // preview rows without the driver's padding
};

} // namespace vistrel::v4l2
