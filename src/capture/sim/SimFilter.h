#pragma once
// The source filter of a simulated device: pins, topology and extension unit, camera properties,
// the still trigger, and the streaming threads that deliver live frames and stills downstream.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/contract/Filter.h"
#include "capture/sim/DeviceProperties.h"

namespace vistrel::sim {

class SimulatedDevice;
class SimOutputPin;
class SimFilter;

// One property family of the device, seen through the filter.
template <class Interface>
class SimPropertyFamily final : public Interface {
public:
    SimPropertyFamily(SimFilter& owner, PropertyFamily family) : owner(owner), family(family) {}
    HRESULT GetRange(std::int32_t property, std::int32_t* minimum, std::int32_t* maximum, std::int32_t* step,
                     std::int32_t* defaultValue, std::int32_t* capsFlags) override;
    HRESULT Set(std::int32_t property, std::int32_t value, std::int32_t flags) override;
    HRESULT Get(std::int32_t property, std::int32_t* value, std::int32_t* flags) override;

private:
    SimFilter& owner;
    PropertyFamily family;
};

class SimFilter final : public IBaseFilter,
                        public IKsControl,
                        public IKsTopologyInfo,
                        public IAMVideoControl,
                        public std::enable_shared_from_this<SimFilter> {
public:
    static std::shared_ptr<SimFilter> Create(std::shared_ptr<SimulatedDevice> device);
    ~SimFilter() override;

    bool IsRemoved() const { return removed.load(); }
    bool IsRunning() const;
    // The device was unplugged: streaming stops and the filter stays dead.
    void DeviceRemoved();
    SimulatedDevice& Device() { return *device; }

    // IBaseFilter
    HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>* pins) override;
    HRESULT JoinFilterGraph(IFilterGraph* graph, const std::string& name) override;
    std::string Name() const override;
    HRESULT Run() override;
    HRESULT Stop() override;
    HRESULT GetState(std::uint32_t timeoutMs, FilterState* state) override;
    std::shared_ptr<IKsControl> QueryKsControl() override;
    std::shared_ptr<IKsTopologyInfo> QueryKsTopologyInfo() override;
    std::shared_ptr<IAMVideoProcAmp> QueryVideoProcAmp() override;
    std::shared_ptr<IAMCameraControl> QueryCameraControl() override;
    std::shared_ptr<IAMVideoControl> QueryVideoControl() override;

    // IKsControl
    HRESULT KsProperty(const KSP_NODE& property, void* data, std::uint32_t length,
                       std::uint32_t* bytesReturned) override;
    // IKsTopologyInfo
    HRESULT get_NumNodes(std::uint32_t* count) override;
    HRESULT get_NodeType(std::uint32_t node, Guid* type) override;
    // IAMVideoControl
    HRESULT SetMode(const std::shared_ptr<IPin>& pin, std::int32_t mode) override;
    HRESULT GetMode(const std::shared_ptr<IPin>& pin, std::int32_t* mode) override;

private:
    explicit SimFilter(std::shared_ptr<SimulatedDevice> device);
    HRESULT CheckDevice() const;
    void StopStreaming();
    void LiveLoop();
    void StillLoop();

    using Clock = std::chrono::steady_clock;

    const std::shared_ptr<SimulatedDevice> device;
    std::shared_ptr<SimOutputPin> capturePin;
    std::shared_ptr<SimOutputPin> stillPin;
    SimPropertyFamily<IAMVideoProcAmp> videoProcAmp;
    SimPropertyFamily<IAMCameraControl> cameraControl;
    std::atomic<bool> removed {false};

    // Run, Stop and removal start and join the threads one at a time.
    std::mutex runMutex;
    std::thread liveThread;
    std::thread stillThread;

    mutable std::mutex stateMutex;
    std::condition_variable wake;
    FilterState state = FilterState::Stopped;
    bool stopping = false;
    Clock::time_point runStart;
    std::deque<Clock::time_point> pendingStills;
    std::int32_t stillPinMode = 0;
    std::string graphName;
};

} // namespace vistrel::sim
