#pragma once
#include <memory>
#include <mutex>
#include <vector>

#include "capture/contract/Graph.h"

namespace vistrel {

// The in-process filter graph. Run starts the downstream filters before the sources and answers the
// first failure (a busy device's code, say), S_FALSE while a filter is still changing state.
// Its IVideoWindow is forwarded to the video renderer in the graph.
class FilterGraph : public IGraphBuilder,
                    public IMediaEventSink,
                    public IMediaEventEx,
                    public std::enable_shared_from_this<FilterGraph> {
public:
    static std::shared_ptr<FilterGraph> Create();
    ~FilterGraph() override;

    HRESULT AddFilter(const std::shared_ptr<IBaseFilter>& filter, const std::string& name) override;
    HRESULT RemoveFilter(const std::shared_ptr<IBaseFilter>& filter) override;
    HRESULT EnumFilters(std::vector<std::shared_ptr<IBaseFilter>>* filters) override;
    HRESULT Disconnect(const std::shared_ptr<IPin>& pin) override;
    HRESULT ConnectDirect(const std::shared_ptr<IPin>& output, const std::shared_ptr<IPin>& input,
                          const MediaType* type) override;
    std::shared_ptr<IMediaControl> QueryMediaControl() override;
    std::shared_ptr<IVideoWindow> QueryVideoWindow() override;
    std::shared_ptr<IMediaEventSink> QueryMediaEventSink() override;
    std::shared_ptr<IMediaEventEx> QueryMediaEventEx() override;
    HRESULT Notify(std::int32_t eventCode, std::intptr_t param1, std::intptr_t param2) override;
    HRESULT SetNotify(MediaEventHandler handler) override;

    HRESULT RunGraph();
    HRESULT StopGraph();
    HRESULT GraphState(std::uint32_t timeoutMs, FilterState* state);
    std::shared_ptr<IVideoWindow> RendererWindow();

private:

    std::vector<std::shared_ptr<IBaseFilter>> FiltersDownstreamFirst();

    std::mutex mutex;
    std::vector<std::shared_ptr<IBaseFilter>> filters;
    FilterState target = FilterState::Stopped;
    std::mutex eventMutex;   // the handler, apart from the filters: events come from streaming threads
    MediaEventHandler eventHandler;
};

} // namespace vistrel
