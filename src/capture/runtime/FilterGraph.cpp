#include "capture/runtime/FilterGraph.h"

#include <algorithm>

namespace vistrel {

namespace {

class GraphMediaControl : public IMediaControl {
public:
    explicit GraphMediaControl(std::shared_ptr<FilterGraph> graph) : graph(std::move(graph)) {}
    HRESULT Run() override { return graph->RunGraph(); }
    HRESULT Stop() override { return graph->StopGraph(); }
    HRESULT GetState(std::uint32_t timeoutMs, FilterState* state) override { return graph->GraphState(timeoutMs, state); }

private:
    std::shared_ptr<FilterGraph> graph;
};

// The graph's own video window: every call goes to the renderer that is in the graph at that moment.
class GraphVideoWindow : public IVideoWindow {
public:
    explicit GraphVideoWindow(std::shared_ptr<FilterGraph> graph) : graph(std::move(graph)) {}
    HRESULT put_Owner(IVideoSurface* owner) override
    {
        return Forward([&](IVideoWindow& w) { return w.put_Owner(owner); });
    }
    HRESULT put_MessageDrain(IVideoSurface* drain) override
    {
        return Forward([&](IVideoWindow& w) { return w.put_MessageDrain(drain); });
    }
    HRESULT put_WindowStyle(std::int32_t style) override
    {
        return Forward([&](IVideoWindow& w) { return w.put_WindowStyle(style); });
    }
    HRESULT SetWindowPosition(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) override
    {
        return Forward([&](IVideoWindow& w) { return w.SetWindowPosition(left, top, width, height); });
    }
    HRESULT put_Visible(std::int32_t visible) override
    {
        return Forward([&](IVideoWindow& w) { return w.put_Visible(visible); });
    }

private:
    template <typename Call>
    HRESULT Forward(Call call)
    {
        const auto window = graph->RendererWindow();
        return window ? call(*window) : E_NOINTERFACE;
    }

    std::shared_ptr<FilterGraph> graph;
};

bool HasConnectedInput(IBaseFilter& filter)
{
    std::vector<std::shared_ptr<IPin>> pins;
    if (Failed(filter.EnumPins(&pins)))
        return false;
    for (const auto& pin : pins) {
        PinDirection direction {};
        std::shared_ptr<IPin> peer;
        if (Succeeded(pin->QueryDirection(&direction)) && direction == PinDirection::Input &&
            Succeeded(pin->ConnectedTo(&peer)))
            return true;
    }
    return false;
}

void DisconnectAllPins(IBaseFilter& filter)
{
    std::vector<std::shared_ptr<IPin>> pins;
    if (Failed(filter.EnumPins(&pins)))
        return;
    for (const auto& pin : pins) {
        std::shared_ptr<IPin> peer;
        if (Succeeded(pin->ConnectedTo(&peer)) && peer)
            peer->Disconnect();
        pin->Disconnect();
    }
}

} // namespace

std::shared_ptr<FilterGraph> FilterGraph::Create()
{
    return std::make_shared<FilterGraph>();
}

FilterGraph::~FilterGraph()
{
    // Connected pins hold each other; break every link so that no filter outlives the graph by a cycle.
    for (const auto& filter : filters) {
        DisconnectAllPins(*filter);
        filter->JoinFilterGraph(nullptr, {});
    }
}

HRESULT FilterGraph::AddFilter(const std::shared_ptr<IBaseFilter>& filter, const std::string& name)
{
    if (!filter)
        return E_POINTER;
    {
        std::lock_guard lock(mutex);
        if (std::find(filters.begin(), filters.end(), filter) != filters.end())
            return E_INVALIDARG;
        filters.push_back(filter);
    }
    const HRESULT hr = filter->JoinFilterGraph(this, name);
    if (Failed(hr)) {
        std::lock_guard lock(mutex);
        filters.erase(std::find(filters.begin(), filters.end(), filter));
    }
    return hr;
}

HRESULT FilterGraph::RemoveFilter(const std::shared_ptr<IBaseFilter>& filter)
{
    if (!filter)
        return E_POINTER;
    {
        std::lock_guard lock(mutex);
        const auto it = std::find(filters.begin(), filters.end(), filter);
        if (it == filters.end())
            return VFW_E_NOT_FOUND;
        filters.erase(it);
    }
    DisconnectAllPins(*filter);
    filter->JoinFilterGraph(nullptr, {});
    return S_OK;
}

HRESULT FilterGraph::EnumFilters(std::vector<std::shared_ptr<IBaseFilter>>* out)
{
    if (!out)
        return E_POINTER;
    std::lock_guard lock(mutex);
    *out = filters;
    return S_OK;
}

HRESULT FilterGraph::Disconnect(const std::shared_ptr<IPin>& pin)
{
    return pin ? pin->Disconnect() : E_POINTER;
}

HRESULT FilterGraph::ConnectDirect(const std::shared_ptr<IPin>& output, const std::shared_ptr<IPin>& input,
                                   const MediaType* type)
{
    if (!output || !input)
        return E_POINTER;
    return output->Connect(input, type);
}

std::shared_ptr<IMediaControl> FilterGraph::QueryMediaControl()
{
    return std::make_shared<GraphMediaControl>(shared_from_this());
}

std::shared_ptr<IVideoWindow> FilterGraph::QueryVideoWindow()
{
    return std::make_shared<GraphVideoWindow>(shared_from_this());
}

std::shared_ptr<IMediaEventSink> FilterGraph::QueryMediaEventSink()
{
    // Null while the graph is being destroyed: its filters are leaving it.
    return std::shared_ptr<IMediaEventSink>(weak_from_this().lock());
}

std::shared_ptr<IMediaEventEx> FilterGraph::QueryMediaEventEx()
{
    return std::shared_ptr<IMediaEventEx>(weak_from_this().lock());
}

HRESULT FilterGraph::Notify(std::int32_t eventCode, std::intptr_t param1, std::intptr_t param2)
{
    std::lock_guard lock(eventMutex);
    if (eventHandler)
        eventHandler(eventCode, param1, param2);
    return S_OK;
}

HRESULT FilterGraph::SetNotify(MediaEventHandler handler)
{
    std::lock_guard lock(eventMutex);
    eventHandler = std::move(handler);
    return S_OK;
}

std::vector<std::shared_ptr<IBaseFilter>> FilterGraph::FiltersDownstreamFirst()
{
    std::vector<std::shared_ptr<IBaseFilter>> all;
    {
        std::lock_guard lock(mutex);
        all = filters;
    }
    // Renderers and transforms first, so that they are ready when the sources start pushing.
    std::stable_partition(all.begin(), all.end(), [](const auto& f) { return HasConnectedInput(*f); });
    return all;
}

HRESULT FilterGraph::RunGraph()
{
    const auto ordered = FiltersDownstreamFirst();
    bool pending = false;
    for (const auto& filter : ordered) {
        const HRESULT hr = filter->Run();
        if (Failed(hr)) {
            // A source that cannot start (a busy device) leaves the whole graph stopped.
            for (auto it = ordered.rbegin(); it != ordered.rend(); ++it)
                (*it)->Stop();
            std::lock_guard lock(mutex);
            target = FilterState::Stopped;
            return hr;
        }
        pending = pending || hr == S_FALSE;
    }
    std::lock_guard lock(mutex);
    target = FilterState::Running;
    return pending ? S_FALSE : S_OK;
}

HRESULT FilterGraph::StopGraph()
{
    auto ordered = FiltersDownstreamFirst();
    std::reverse(ordered.begin(), ordered.end()); // sources first
    HRESULT result = S_OK;
    for (const auto& filter : ordered) {
        const HRESULT hr = filter->Stop();
        if (Failed(hr) && Succeeded(result))
            result = hr;
        else if (hr == S_FALSE && result == S_OK)
            result = S_FALSE;
    }
    std::lock_guard lock(mutex);
    target = FilterState::Stopped;
    return result;
}

HRESULT FilterGraph::GraphState(std::uint32_t timeoutMs, FilterState* state)
{
    if (!state)
        return E_POINTER;
    std::vector<std::shared_ptr<IBaseFilter>> all;
    FilterState wanted;
    {
        std::lock_guard lock(mutex);
        all = filters;
        wanted = target;
    }
    *state = wanted;
    HRESULT result = S_OK;
    for (const auto& filter : all) {
        FilterState current = FilterState::Stopped;
        const HRESULT hr = filter->GetState(timeoutMs, &current);
        if (Failed(hr))
            return hr;
        if (hr == VFW_S_STATE_INTERMEDIATE || current != wanted)
            result = VFW_S_STATE_INTERMEDIATE;
    }
    return result;
}

std::shared_ptr<IVideoWindow> FilterGraph::RendererWindow()
{
    std::lock_guard lock(mutex);
    for (const auto& filter : filters)
        if (auto window = filter->QueryVideoWindow())
            return window;
    return nullptr;
}

} // namespace vistrel
