#include "capture/runtime/NullRenderer.h"

#include "capture/runtime/RuntimePins.h"

namespace vistrel {

std::shared_ptr<NullRenderer> NullRenderer::Create()
{
    auto renderer = std::make_shared<NullRenderer>();
    renderer->input = std::make_shared<InputPin>(
        std::weak_ptr<IBaseFilter>(renderer), "In", [](const MediaType&) { return S_OK; },
        [](const MediaSample&) { return S_OK; });
    return renderer;
}

HRESULT NullRenderer::EnumPins(std::vector<std::shared_ptr<IPin>>* pins)
{
    if (!pins)
        return E_POINTER;
    *pins = {input};
    return S_OK;
}

} // namespace vistrel
