#pragma once
#include <memory>

#include "capture/contract/Graph.h"
#include "capture/contract/PinCategory.h"

namespace vistrel {

// Finds pins by direction and category (read through the pin's IKsPropertySet) and renders a stream
// from a source pin through an optional intermediate filter into a sink, the default video renderer
// when no sink is given.
class CaptureGraphBuilder : public ICaptureGraphBuilder2 {
public:
    HRESULT SetFiltergraph(const std::shared_ptr<IGraphBuilder>& graph) override;
    HRESULT FindPin(const std::shared_ptr<IBaseFilter>& filter, PinDirection direction, const Guid* category,
                    const Guid* majorType, bool unconnected, std::int32_t index, std::shared_ptr<IPin>* pin) override;
    HRESULT RenderStream(const Guid* category, const Guid* majorType, const std::shared_ptr<IBaseFilter>& sourceFilter,
                         const std::shared_ptr<IPin>& sourcePin, const std::shared_ptr<IBaseFilter>& intermediate,
                         const std::shared_ptr<IBaseFilter>& sink) override;

private:
    HRESULT ConnectToFilter(const std::shared_ptr<IPin>& output, const std::shared_ptr<IBaseFilter>& downstream);

    std::shared_ptr<IGraphBuilder> graph;
};

constexpr const char* kVideoRendererName = "Video Renderer";

} // namespace vistrel
