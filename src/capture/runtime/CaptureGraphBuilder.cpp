#include "capture/runtime/CaptureGraphBuilder.h"

#include "capture/runtime/VideoRenderer.h"

namespace vistrel {

namespace {

bool PinHasMajorType(const std::shared_ptr<IPin>& pin, const Guid& majorType)
{
    MediaType type;
    if (Succeeded(pin->ConnectionMediaType(&type)))
        return type.majorType == majorType;
    if (const auto config = pin->QueryStreamConfig(); config && Succeeded(config->GetFormat(&type)))
        return type.majorType == majorType;
    return true; // a pin that cannot tell is given the benefit of the doubt
}

bool IsConnected(const std::shared_ptr<IPin>& pin)
{
    std::shared_ptr<IPin> peer;
    return Succeeded(pin->ConnectedTo(&peer)) && peer;
}

} // namespace

HRESULT CaptureGraphBuilder::SetFiltergraph(const std::shared_ptr<IGraphBuilder>& newGraph)
{
    if (!newGraph)
        return E_POINTER;
    graph = newGraph;
    return S_OK;
}

HRESULT CaptureGraphBuilder::FindPin(const std::shared_ptr<IBaseFilter>& filter, PinDirection direction,
                                     const Guid* category, const Guid* majorType, bool unconnected, std::int32_t index,
                                     std::shared_ptr<IPin>* pin)
{
    if (!filter || !pin)
        return E_POINTER;
    pin->reset();
    std::vector<std::shared_ptr<IPin>> pins;
    if (const HRESULT hr = filter->EnumPins(&pins); Failed(hr))
        return hr;
    std::int32_t matches = 0;
    for (const auto& candidate : pins) {
        PinDirection candidateDirection {};
        if (Failed(candidate->QueryDirection(&candidateDirection)) || candidateDirection != direction)
            continue;
        if (category && !PinHasCategory(candidate, *category))
            continue;
        if (majorType && !PinHasMajorType(candidate, *majorType))
            continue;
        if (unconnected && IsConnected(candidate))
            continue;
        if (matches++ == index) {
            *pin = candidate;
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT CaptureGraphBuilder::ConnectToFilter(const std::shared_ptr<IPin>& output,
                                             const std::shared_ptr<IBaseFilter>& downstream)
{
    std::shared_ptr<IPin> input;
    std::int32_t index = 0;
    HRESULT last = VFW_E_CANNOT_RENDER;
    while (Succeeded(FindPin(downstream, PinDirection::Input, nullptr, nullptr, true, index++, &input))) {
        last = graph->ConnectDirect(output, input, nullptr);
        if (Succeeded(last))
            return last;
    }
    return last;
}

HRESULT CaptureGraphBuilder::RenderStream(const Guid* category, const Guid* majorType,
                                          const std::shared_ptr<IBaseFilter>& sourceFilter,
                                          const std::shared_ptr<IPin>& sourcePin,
                                          const std::shared_ptr<IBaseFilter>& intermediate,
                                          const std::shared_ptr<IBaseFilter>& sink)
{
    if (!graph)
        return E_UNEXPECTED;
    std::shared_ptr<IPin> output = sourcePin;
    if (!output) {
        if (!sourceFilter)
            return E_POINTER;
        if (const HRESULT hr = FindPin(sourceFilter, PinDirection::Output, category, majorType, true, 0, &output);
            Failed(hr))
            return hr;
    }

    std::shared_ptr<IBaseFilter> target = sink;
    bool createdRenderer = false;
    if (!target) {
        target = VideoRenderer::Create();
        if (const HRESULT hr = graph->AddFilter(target, kVideoRendererName); Failed(hr))
            return hr;
        createdRenderer = true;
    }

    HRESULT hr = S_OK;
    if (intermediate) {
        hr = ConnectToFilter(output, intermediate);
        if (Succeeded(hr)) {
            std::shared_ptr<IPin> intermediateOutput;
            hr = FindPin(intermediate, PinDirection::Output, nullptr, nullptr, true, 0, &intermediateOutput);
            if (Succeeded(hr))
                hr = ConnectToFilter(intermediateOutput, target);
            if (Failed(hr)) {
                // Leave no half-built branch behind.
                std::shared_ptr<IPin> peer;
                if (Succeeded(output->ConnectedTo(&peer)) && peer)
                    graph->Disconnect(peer);
                graph->Disconnect(output);
            }
        }
    } else {
        hr = ConnectToFilter(output, target);
    }

    if (Failed(hr) && createdRenderer)
        graph->RemoveFilter(target);
    return hr;
}

} // namespace vistrel
