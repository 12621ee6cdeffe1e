#include "capture/runtime/VideoRenderer.h"

#include "capture/runtime/RuntimePins.h"

namespace vistrel {

// A sample kept for a surface that may paint it later: its bytes, its type and the size it was meant for.
class VideoRenderer::PendingSample : public IPendingFrame {
public:
    PendingSample(std::weak_ptr<VideoRenderer> renderer, const MediaType& type, const MediaSample& sample,
                  const VideoPlacement& where, std::uint64_t sequence)
        : renderer(std::move(renderer)), type(type), bytes(sample.data, sample.data + sample.length),
          width(where.width), height(where.height), sequence(sequence)
    {
    }

    std::shared_ptr<const VideoFrame> Decode() override
    {
        const auto me = renderer.lock();
        return me ? me->Convert(type, bytes.data(), static_cast<std::int32_t>(bytes.size()), width, height, sequence)
                  : nullptr;
    }

private:
    std::weak_ptr<VideoRenderer> renderer;
    MediaType type;
    std::vector<std::uint8_t> bytes;
    std::int32_t width;
    std::int32_t height;
    std::uint64_t sequence;
};

std::shared_ptr<VideoRenderer> VideoRenderer::Create()
{
    auto renderer = std::make_shared<VideoRenderer>();
    std::weak_ptr<VideoRenderer> self = renderer;
    renderer->input = std::make_shared<InputPin>(
        std::weak_ptr<IBaseFilter>(renderer), "Input",
        [self](const MediaType& type) {
            const auto me = self.lock();
            return me ? me->Accept(type) : E_UNEXPECTED;
        },
        [self](const MediaSample& sample) {
            const auto me = self.lock();
            return me ? me->Render(sample) : E_UNEXPECTED;
        });
    return renderer;
}

HRESULT VideoRenderer::EnumPins(std::vector<std::shared_ptr<IPin>>* pins)
{
    if (!pins)
        return E_POINTER;
    *pins = {input};
    return S_OK;
}

std::shared_ptr<IVideoWindow> VideoRenderer::QueryVideoWindow()
{
    return shared_from_this();
}

HRESULT VideoRenderer::Accept(const MediaType& type) const
{
    if (type.majorType != MEDIATYPE_Video)
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (type.subType == MEDIASUBTYPE_MJPG)
        return S_OK; // every frame carries its own size
    std::int32_t width = 0, height = 0;
    if ((type.subType == MEDIASUBTYPE_YUY2 || type.subType == MEDIASUBTYPE_RGB32) &&
        ReadVideoInfoSize(type, width, height) && width > 0 && height != 0)
        return S_OK;
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT VideoRenderer::Render(const MediaSample& sample)
{
    const std::uint64_t sequence = ++received;
    VideoPlacement where;
    bool ready = false;
    {
        std::lock_guard lock(ownerMutex);
        if (!owner || !placement.visible)
            return S_OK;
        where = placement;
        ready = owner->ReadyForFrame();
    }
    if (where.width <= 0 || where.height <= 0 || !sample.data || sample.length <= 0)
        return S_OK;

    MediaType type;
    if (sample.type)
        type = *sample.type;
    else if (Failed(input->ConnectionMediaType(&type)))
        return VFW_E_NOT_CONNECTED;

    if (!ready) {
        auto pending = std::make_shared<PendingSample>(weak_from_this(), type, sample, where, sequence);
        std::lock_guard lock(ownerMutex);
        if (owner)
            owner->PresentPending(std::move(pending));
        return S_OK;
    }
    auto frame = Convert(type, sample.data, sample.length, where.width, where.height, sequence);
    if (!frame)
        return S_OK; // a damaged frame is skipped; the next one may be fine

    std::lock_guard lock(ownerMutex);
    if (owner) {
        owner->PresentFrame(std::move(frame));
        ++presented;
    }
    return S_OK;
}

std::shared_ptr<VideoFrame> VideoRenderer::Convert(const MediaType& type, const std::uint8_t* data,
                                                   std::int32_t length, std::int32_t width, std::int32_t height,
                                                   std::uint64_t sequence)
{
    std::lock_guard lock(convertMutex);
    auto frame = FreeFrame();
    if (!converter.Convert(type, data, length, width, height, frame.get()))
        return nullptr;
    frame->sequence = sequence;
    ++decoded;
    return frame;
}

// A frame no one but the pool holds any more, so that streaming allocates nothing in the steady state:
// one frame with the surface, one being painted, one being filled.
std::shared_ptr<VideoFrame> VideoRenderer::FreeFrame()
{
    constexpr std::size_t kPoolSize = 3;
    for (const auto& pooled : framePool)
        if (pooled.use_count() == 1)
            return pooled;
    auto frame = std::make_shared<VideoFrame>();
    if (framePool.size() < kPoolSize)
        framePool.push_back(frame);
    return frame;
}

HRESULT VideoRenderer::put_Owner(IVideoSurface* newOwner)
{
    // Waits for a PresentFrame in progress, so the old owner is free once this returns.
    std::lock_guard lock(ownerMutex);
    owner = newOwner;
    return S_OK;
}

HRESULT VideoRenderer::put_MessageDrain(IVideoSurface* newDrain)
{
    std::lock_guard lock(ownerMutex);
    drain = newDrain;
    return S_OK;
}

HRESULT VideoRenderer::put_WindowStyle(std::int32_t newStyle)
{
    std::lock_guard lock(ownerMutex);
    style = newStyle;
    return S_OK;
}

HRESULT VideoRenderer::SetWindowPosition(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height)
{
    if (width < 0 || height < 0)
        return E_INVALIDARG;
    std::lock_guard lock(ownerMutex);
    placement.left = left;
    placement.top = top;
    placement.width = width;
    placement.height = height;
    NotifyPlacement();
    return S_OK;
}

HRESULT VideoRenderer::put_Visible(std::int32_t visible)
{
    std::lock_guard lock(ownerMutex);
    placement.visible = visible != OAFALSE;
    NotifyPlacement();
    return S_OK;
}

VideoPlacement VideoRenderer::Placement() const
{
    std::lock_guard lock(ownerMutex);
    return placement;
}

void VideoRenderer::NotifyPlacement()
{
    if (owner)
        owner->PlacementChanged(placement);
}

} // namespace vistrel
