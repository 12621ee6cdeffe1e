#include "capture/runtime/RuntimeFilter.h"

namespace vistrel {

HRESULT RuntimeFilter::JoinFilterGraph(IFilterGraph* newGraph, const std::string& newName)
{
    std::lock_guard lock(mutex);
    graph = newGraph;
    name = newGraph ? newName : std::string();
    return S_OK;
}

std::string RuntimeFilter::Name() const
{
    std::lock_guard lock(mutex);
    return name;
}

HRESULT RuntimeFilter::Run()
{
    state = FilterState::Running;
    return S_OK;
}

HRESULT RuntimeFilter::Stop()
{
    state = FilterState::Stopped;
    return S_OK;
}

HRESULT RuntimeFilter::GetState(std::uint32_t, FilterState* current)
{
    if (!current)
        return E_POINTER;
    *current = state.load();
    return S_OK;
}

IFilterGraph* RuntimeFilter::Graph() const
{
    std::lock_guard lock(mutex);
    return graph;
}

} // namespace vistrel
