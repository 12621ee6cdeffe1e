#include "capture/linux/PinnedSourceFilter.h"

namespace vistrel::lnx {

PinnedSourceFilter::PinnedSourceFilter(std::string friendlyName) : friendlyName(std::move(friendlyName))
{
}

void PinnedSourceFilter::SetPins(std::shared_ptr<SourceOutputPin> capture, std::shared_ptr<SourceOutputPin> still)
{
    capturePin = std::move(capture);
    stillPin = std::move(still);
}

PinnedSourceFilter::Delivery PinnedSourceFilter::DeliveryTo(SourceOutputPin* pin)
{
    return [pin](std::span<const std::uint8_t> bytes, double time) { pin->Deliver(bytes, time); };
}

HRESULT PinnedSourceFilter::EnumPins(std::vector<std::shared_ptr<IPin>>* pins)
{
    if (!pins)
        return E_POINTER;
    pins->clear();
    pins->push_back(capturePin);
    if (stillPin)
        pins->push_back(stillPin);
    return S_OK;
}

HRESULT PinnedSourceFilter::JoinFilterGraph(IFilterGraph* newGraph, const std::string& name)
{
    {
        std::lock_guard lock(graphMutex);
        graph = newGraph;
    }
    std::lock_guard lock(mutex);
    graphName = newGraph ? name : std::string();
    return S_OK;
}

void PinnedSourceFilter::RaiseEvent(std::int32_t eventCode)
{
    std::shared_ptr<IMediaEventSink> sink;
    {
        std::lock_guard lock(graphMutex);
        if (graph)
            sink = graph->QueryMediaEventSink();
    }
    if (sink)
        sink->Notify(eventCode, 0, 0);
}

std::string PinnedSourceFilter::Name() const
{
    std::lock_guard lock(mutex);
    return graphName.empty() ? friendlyName : graphName;
}

HRESULT PinnedSourceFilter::Run()
{
    std::lock_guard lock(mutex);
    if (state == FilterState::Running)
        return S_OK;
    if (const HRESULT hr = StartStreaming(); Failed(hr))
        return hr;
    capturePin->SetRunning(true);
    if (stillPin)
        stillPin->SetRunning(true);
    state = FilterState::Running;
    return S_OK;
}

HRESULT PinnedSourceFilter::Stop()
{
    std::lock_guard lock(mutex);
    StopStreaming();
    capturePin->SetRunning(false);
    if (stillPin)
        stillPin->SetRunning(false);
    state = FilterState::Stopped;
    return S_OK;
}

HRESULT PinnedSourceFilter::GetState(std::uint32_t, FilterState* current)
{
    if (!current)
        return E_POINTER;
    std::lock_guard lock(mutex);
    *current = state;
    return S_OK;
}

std::int32_t* PinnedSourceFilter::ModeOf(const std::shared_ptr<IPin>& pin)
{
    if (pin && pin == capturePin)
        return &captureMode;
    if (pin && stillPin && pin == stillPin)
        return &stillMode;
    return nullptr;
}

HRESULT PinnedSourceFilter::SetMode(const std::shared_ptr<IPin>& pin, std::int32_t mode)
{
    std::lock_guard lock(mutex);
    std::int32_t* stored = ModeOf(pin);
    if (!stored)
        return E_INVALIDARG;
    *stored = mode & ~VideoControlFlag_Trigger; // the trigger is a moment, not a mode
    if (!(mode & VideoControlFlag_Trigger) || pin != stillPin)
        return S_OK;
    if (state != FilterState::Running)
        return E_FAIL;
    if (!stillPin->IsConnected())
        return VFW_E_NOT_CONNECTED;
    return TakeStill();
}

HRESULT PinnedSourceFilter::GetMode(const std::shared_ptr<IPin>& pin, std::int32_t* mode)
{
    if (!mode)
        return E_POINTER;
    std::lock_guard lock(mutex);
    const std::int32_t* stored = ModeOf(pin);
    if (!stored)
        return E_INVALIDARG;
    *mode = *stored;
    return S_OK;
}

} // namespace vistrel::lnx
