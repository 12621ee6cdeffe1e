#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "capture/contract/Graph.h"
#include "capture/runtime/FrameConverter.h"
#include "capture/runtime/RuntimeFilter.h"

namespace vistrel {

class InputPin;

// The default video renderer: converts each sample (MJPEG, YUY2, RGB32) to xRGB at the size of its
// window and hands it to its owner surface. Nothing is queued: a frame that arrives while no owner is
// set, or the window is hidden, is dropped. While the owner is not ready to paint, samples are handed
// over undecoded and cost a copy, not a decode. After put_Owner(nullptr) returns the old owner is never
// called again. The owner's calls must not wait for the thread that calls put_Owner.
class VideoRenderer : public RuntimeFilter, public IVideoWindow, public std::enable_shared_from_this<VideoRenderer> {
public:
    static std::shared_ptr<VideoRenderer> Create();

    HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>* pins) override;
    std::shared_ptr<IVideoWindow> QueryVideoWindow() override;

    HRESULT put_Owner(IVideoSurface* owner) override;
    HRESULT put_MessageDrain(IVideoSurface* drain) override;
    HRESULT put_WindowStyle(std::int32_t style) override;
    HRESULT SetWindowPosition(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) override;
    HRESULT put_Visible(std::int32_t visible) override;

    // Renders one sample as if it had arrived on the input pin (the streaming path).
    HRESULT Render(const MediaSample& sample);
    VideoPlacement Placement() const;
    std::uint64_t FramesReceived() const { return received.load(); }
    std::uint64_t FramesPresented() const { return presented.load(); }
    // Samples converted so far, on the streaming thread or for a surface that painted a pending one.
    std::uint64_t FramesDecoded() const { return decoded.load(); }

private:

    class PendingSample;

    HRESULT Accept(const MediaType& type) const;
    void NotifyPlacement();
    // The sample as a frame of the given size; nullptr when it cannot be read.
    std::shared_ptr<VideoFrame> Convert(const MediaType& type, const std::uint8_t* data, std::int32_t length,
                                        std::int32_t width, std::int32_t height, std::uint64_t sequence);

    std::shared_ptr<InputPin> input;
    mutable std::mutex ownerMutex;          // held while the owner is called
    IVideoSurface* owner = nullptr;
    IVideoSurface* drain = nullptr;
    std::int32_t style = 0;
    VideoPlacement placement;
    std::shared_ptr<VideoFrame> FreeFrame();

    std::mutex convertMutex;                // one conversion at a time
    FrameConverter converter;
    std::vector<std::shared_ptr<VideoFrame>> framePool; // reused once nobody else holds them
    std::atomic<std::uint64_t> received {0};
    std::atomic<std::uint64_t> presented {0};
    std::atomic<std::uint64_t> decoded {0};
};

} // namespace vistrel
