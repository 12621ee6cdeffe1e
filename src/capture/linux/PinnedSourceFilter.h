#pragma once
// What the Linux backends' source filters share: a capture pin and, when the device has a still method,
// a still pin; the graph's name for the filter, its run state, the pins' modes and the still trigger.
// A backend says how it streams and how it takes a still.
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capture/contract/Filter.h"
#include "capture/contract/Graph.h"
#include "capture/linux/SourceOutputPin.h"

namespace vistrel::lnx {

class PinnedSourceFilter : public IBaseFilter,
                           public IAMVideoControl,
                           public std::enable_shared_from_this<PinnedSourceFilter>
{
public:
    HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>* pins) override;
    HRESULT JoinFilterGraph(IFilterGraph* graph, const std::string& name) override;
    std::string Name() const override;
    HRESULT Run() override;
    HRESULT Stop() override;
    HRESULT GetState(std::uint32_t timeoutMs, FilterState* state) override;
    std::shared_ptr<IAMVideoControl> QueryVideoControl() override { return shared_from_this(); }

    // IAMVideoControl: VideoControlFlag_Trigger on the still pin asks for one still.
    HRESULT SetMode(const std::shared_ptr<IPin>& pin, std::int32_t mode) override;
    HRESULT GetMode(const std::shared_ptr<IPin>& pin, std::int32_t* mode) override;

protected:
    explicit PinnedSourceFilter(std::string friendlyName);

    // The pins, made by the backend's factory once the filter has its shared pointer (a pin names its
    // filter); stillPin stays null without a still method.
    void SetPins(std::shared_ptr<SourceOutputPin> capture, std::shared_ptr<SourceOutputPin> still);

    // A streaming plan for what is connected: formats and the pins' deliveries.
    template <class Plan>
    Plan PlanForConnectedPins() const
    {
        Plan plan;
        if (capturePin->IsConnected()) {
            plan.preview = capturePin->CurrentSource();
            plan.onPreview = DeliveryTo(capturePin.get());
        }
        if (stillPin && stillPin->IsConnected()) {
            plan.still = stillPin->CurrentSource();
            plan.onStill = DeliveryTo(stillPin.get());
        }
        return plan;
    }

    // Raises an event in the graph the filter is in (on any thread; none outside a graph).
    void RaiseEvent(std::int32_t eventCode);

    // The backend's streaming, called with the filter's lock held.
    virtual HRESULT StartStreaming() = 0;
    virtual void StopStreaming() = 0;
    // Running, with the still pin connected.
    virtual HRESULT TakeStill() = 0;

private:
    using Delivery = std::function<void(std::span<const std::uint8_t> bytes, double time)>;
    static Delivery DeliveryTo(SourceOutputPin* pin);
    std::int32_t* ModeOf(const std::shared_ptr<IPin>& pin);

    const std::string friendlyName;
    std::shared_ptr<SourceOutputPin> capturePin;
    std::shared_ptr<SourceOutputPin> stillPin;

    mutable std::mutex mutex;
    FilterState state = FilterState::Stopped;
    std::string graphName;
    std::int32_t captureMode = 0;
    std::int32_t stillMode = 0;

    // Apart from the filter's lock, which Stop holds while it waits for the threads that raise events.
    std::mutex graphMutex;
    IFilterGraph* graph = nullptr;
};

} // namespace vistrel::lnx
