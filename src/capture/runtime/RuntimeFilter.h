#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "capture/contract/Filter.h"

namespace vistrel {

// Graph membership, name and run state shared by the runtime's own filters.
class RuntimeFilter : public IBaseFilter {
public:
    HRESULT JoinFilterGraph(IFilterGraph* graph, const std::string& name) override;
    std::string Name() const override;
    HRESULT Run() override;
    HRESULT Stop() override;
    HRESULT GetState(std::uint32_t timeoutMs, FilterState* state) override;

    bool IsRunning() const { return state.load() == FilterState::Running; }

protected:
    IFilterGraph* Graph() const;

private:
    mutable std::mutex mutex;
    IFilterGraph* graph = nullptr;
    std::string name;
    std::atomic<FilterState> state {FilterState::Stopped};
};

} // namespace vistrel
