#pragma once
// The filter graph, its builder, run control, the video window and the sample grabber.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/contract/Filter.h"

namespace vistrel {

class IMediaControl {
public:
    virtual ~IMediaControl() = default;
    // S_FALSE while the change is pending; a device failure code when a source cannot start.
    virtual HRESULT Run() = 0;
    virtual HRESULT Stop() = 0;
    // S_OK when the state is settled, VFW_S_STATE_INTERMEDIATE while still changing.
    virtual HRESULT GetState(std::uint32_t timeoutMs, FilterState* state) = 0;
};

// Where the live picture goes: the window side implements it over its preview control.
// Every call of IVideoSurface may come on the renderer's streaming thread.
struct VideoFrame {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t stride = 0;                 // bytes per row
    std::vector<std::uint8_t> pixels;        // 32-bit xRGB, little-endian (B, G, R, x in memory)
    std::uint64_t sequence = 0;
};

struct VideoPlacement {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool visible = false;
};

// A frame handed over as it arrived, not yet decoded: it is decoded only if a surface comes to paint
// it. Decode may run on any thread; nullptr when the sample is damaged or its renderer is gone.
class IPendingFrame {
public:
    virtual ~IPendingFrame() = default;
    virtual std::shared_ptr<const VideoFrame> Decode() = 0;
};

class IVideoSurface {
public:
    virtual ~IVideoSurface() = default;
    virtual void PlacementChanged(const VideoPlacement& placement) = 0;
    // The latest frame; a surface keeps only the newest one.
    virtual void PresentFrame(std::shared_ptr<const VideoFrame> frame) = 0;
    // Whether a frame decoded now would be painted. A surface that is not painting (hidden, minimized,
    // covered, or still busy with the frame before) says no, and the renderer hands the next frames
    // over undecoded through PresentPending.
    virtual bool ReadyForFrame() const { return true; }
    virtual void PresentPending(std::shared_ptr<IPendingFrame> frame)
    {
        if (auto decoded = frame->Decode())
            PresentFrame(std::move(decoded));
    }
    // The platform window the surface shows, for a renderer that draws into a window of its own (the
    // system's video renderer on Windows); 0 when the surface has none.
    virtual std::uintptr_t NativeWindow() { return 0; }
};

#ifndef WS_CHILD
constexpr std::int32_t WS_CHILD = 0x40000000;
#endif
#ifndef OATRUE
constexpr std::int32_t OATRUE = -1;
#endif
#ifndef OAFALSE
constexpr std::int32_t OAFALSE = 0;
#endif

class IVideoWindow {
public:
    virtual ~IVideoWindow() = default;
    virtual HRESULT put_Owner(IVideoSurface* owner) = 0;
    virtual HRESULT put_MessageDrain(IVideoSurface* drain) = 0;
    virtual HRESULT put_WindowStyle(std::int32_t style) = 0;
    virtual HRESULT SetWindowPosition(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) = 0;
    virtual HRESULT put_Visible(std::int32_t visible) = 0;
};

// Events a filter raises in its graph (IMediaEventSink), heard by the application through the graph's
// event interface (IMediaEventEx). Codes from EC_USER on are the program's own.
#ifndef EC_USER
constexpr std::int32_t EC_USER = 0x8000;
#endif
// The device's own still button was pressed; the application decides what it means.
constexpr std::int32_t EC_STILL_BUTTON = EC_USER + 1;

class IMediaEventSink {
public:
    virtual ~IMediaEventSink() = default;
    virtual HRESULT Notify(std::int32_t eventCode, std::intptr_t param1, std::intptr_t param2) = 0;
};

using MediaEventHandler = std::function<void(std::int32_t eventCode, std::intptr_t param1, std::intptr_t param2)>;

class IMediaEventEx {
public:
    virtual ~IMediaEventEx() = default;
    // The handler runs on the thread that raised the event (on Windows, from the message loop of the
    // thread that owns the graph) and must not wait for the window; an empty one stops the events.
    // Returns once no call of the handler it replaces is running.
    virtual HRESULT SetNotify(MediaEventHandler handler) = 0;
};

class IFilterGraph {
public:
    virtual ~IFilterGraph() = default;
    // Where a member filter raises its events; null when the graph hears none.
    virtual std::shared_ptr<IMediaEventSink> QueryMediaEventSink() { return nullptr; }
    virtual HRESULT AddFilter(const std::shared_ptr<IBaseFilter>& filter, const std::string& name) = 0;
    virtual HRESULT RemoveFilter(const std::shared_ptr<IBaseFilter>& filter) = 0;
    virtual HRESULT EnumFilters(std::vector<std::shared_ptr<IBaseFilter>>* filters) = 0;
    virtual HRESULT Disconnect(const std::shared_ptr<IPin>& pin) = 0;
    virtual HRESULT ConnectDirect(const std::shared_ptr<IPin>& output, const std::shared_ptr<IPin>& input,
                                  const MediaType* type) = 0;
};

class IGraphBuilder : public IFilterGraph {
public:
    // Interfaces of the graph as a whole; null when it has none (E_NOINTERFACE for the caller).
    virtual std::shared_ptr<IMediaControl> QueryMediaControl() = 0;
    virtual std::shared_ptr<IVideoWindow> QueryVideoWindow() = 0;
    virtual std::shared_ptr<IMediaEventEx> QueryMediaEventEx() { return nullptr; }
};

class ICaptureGraphBuilder2 {
public:
    virtual ~ICaptureGraphBuilder2() = default;
    virtual HRESULT SetFiltergraph(const std::shared_ptr<IGraphBuilder>& graph) = 0;
    // category/majorType may be null; unconnected limits the search to free pins; index counts matches.
    virtual HRESULT FindPin(const std::shared_ptr<IBaseFilter>& filter, PinDirection direction, const Guid* category,
                            const Guid* majorType, bool unconnected, std::int32_t index,
                            std::shared_ptr<IPin>* pin) = 0;
    // source is a filter's output pin (pass sourcePin) or a filter (pass sourceFilter, with category);
    // a null sink completes the branch with the platform's default video renderer.
    virtual HRESULT RenderStream(const Guid* category, const Guid* majorType,
                                 const std::shared_ptr<IBaseFilter>& sourceFilter, const std::shared_ptr<IPin>& sourcePin,
                                 const std::shared_ptr<IBaseFilter>& intermediate,
                                 const std::shared_ptr<IBaseFilter>& sink) = 0;
};

// Receives samples from a sample grabber (on the streaming thread).
class ISampleGrabberCB {
public:
    virtual ~ISampleGrabberCB() = default;
    virtual HRESULT QueryInterface(const Guid& iid, void** out) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;
    virtual HRESULT SampleCB(double sampleTime, const MediaSample& sample) = 0;
    virtual HRESULT BufferCB(double sampleTime, const std::uint8_t* buffer, std::int32_t length) = 0;
};

constexpr Guid IID_IUnknown {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr Guid IID_ISampleGrabberCB {0x0579154A, 0x2B53, 0x4994, {0xB0, 0xD0, 0xE7, 0x73, 0x14, 0x8E, 0xFF, 0x85}};

class ISampleGrabber {
public:
    virtual ~ISampleGrabber() = default;
    // mode 0 calls SampleCB, 1 calls BufferCB; the callback is not owned.
    virtual HRESULT SetCallback(ISampleGrabberCB* callback, std::int32_t mode) = 0;
    virtual std::shared_ptr<IBaseFilter> AsFilter() = 0;
};

} // namespace vistrel
