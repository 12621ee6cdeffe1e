#include "capture/runtime/VideoRenderer.h"

#include "capture/runtime/RuntimePins.h"

namespace vistrel {

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
    ++received;
    VideoPlacement where;
    {
        std::lock_guard lock(ownerMutex);
        if (!owner || !placement.visible)
            return S_OK;
        where = placement;
    }
    if (where.width <= 0 || where.height <= 0)
        return S_OK;

    MediaType type;
    if (sample.type)
        type = *sample.type;
    else if (Failed(input->ConnectionMediaType(&type)))
        return VFW_E_NOT_CONNECTED;

    std::shared_ptr<VideoFrame> frame;
    {
        std::lock_guard lock(convertMutex);
        frame = FreeFrame();
        if (!converter.Convert(type, sample.data, sample.length, where.width, where.height, frame.get()))
            return S_OK; // a damaged frame is skipped; the next one may be fine
        frame->sequence = received.load();
    }

    std::lock_guard lock(ownerMutex);
    if (owner) {
        owner->PresentFrame(std::move(frame));
        ++presented;
    }
    return S_OK;
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
