#include "capture/sim/SimFilter.h"

#include <cstring>

#include "capture/sim/FrameRenderer.h"
#include "capture/sim/SimOutputPin.h"
#include "capture/sim/SimulatedDevice.h"

namespace vistrel::sim {
namespace {

constexpr auto kFramePeriod = std::chrono::microseconds(1'000'000 / kLiveFramesPerSecond);

void JoinUnlessSelf(std::thread& t)
{
    if (!t.joinable())
        return;
    if (t.get_id() == std::this_thread::get_id())
        t.detach(); // stopped from inside a delivery: the loop ends on its own right after
    else
        t.join();
}

} // namespace

template <class Interface>
HRESULT SimPropertyFamily<Interface>::GetRange(std::int32_t property, std::int32_t* minimum, std::int32_t* maximum,
                                               std::int32_t* step, std::int32_t* defaultValue,
                                               std::int32_t* capsFlags)
{
    if (!minimum || !maximum || !step || !defaultValue || !capsFlags)
        return E_POINTER;
    if (owner.IsRemoved())
        return E_DEVICE_NOT_CONNECTED;
    PropertyRange r;
    const HRESULT hr = owner.Device().GetRange(family, property, &r);
    if (hr == S_OK) {
        *minimum = r.minimum;
        *maximum = r.maximum;
        *step = r.step;
        *defaultValue = r.defaultValue;
        *capsFlags = r.capsFlags;
    }
    return hr;
}

template <class Interface>
HRESULT SimPropertyFamily<Interface>::Set(std::int32_t property, std::int32_t value, std::int32_t flags)
{
    if (owner.IsRemoved())
        return E_DEVICE_NOT_CONNECTED;
    return owner.Device().SetProperty(family, property, value, flags);
}

template <class Interface>
HRESULT SimPropertyFamily<Interface>::Get(std::int32_t property, std::int32_t* value, std::int32_t* flags)
{
    if (!value || !flags)
        return E_POINTER;
    if (owner.IsRemoved())
        return E_DEVICE_NOT_CONNECTED;
    return owner.Device().GetProperty(family, property, value, flags);
}

template class SimPropertyFamily<IAMVideoProcAmp>;
template class SimPropertyFamily<IAMCameraControl>;

SimFilter::SimFilter(std::shared_ptr<SimulatedDevice> d)
    : device(std::move(d)),
      videoProcAmp(*this, PropertyFamily::VideoProcAmp),
      cameraControl(*this, PropertyFamily::CameraControl)
{
}

std::shared_ptr<SimFilter> SimFilter::Create(std::shared_ptr<SimulatedDevice> device)
{
    std::shared_ptr<SimFilter> filter(new SimFilter(std::move(device)));
    filter->capturePin = std::make_shared<SimOutputPin>(filter, PIN_CATEGORY_CAPTURE, "Capture",
                                                        filter->device->CaptureFormats());
    filter->stillPin = std::make_shared<SimOutputPin>(filter, PIN_CATEGORY_STILL, "Still",
                                                      filter->device->StillFormats());
    return filter;
}

SimFilter::~SimFilter()
{
    std::lock_guard lock(runMutex);
    StopStreaming();
}

HRESULT SimFilter::CheckDevice() const
{
    return removed.load() ? E_DEVICE_NOT_CONNECTED : S_OK;
}

bool SimFilter::IsRunning() const
{
    std::lock_guard lock(stateMutex);
    return state == FilterState::Running;
}

void SimFilter::DeviceRemoved()
{
    removed = true;
    {
        std::lock_guard lock(runMutex);
        StopStreaming();
    }
    capturePin->DropConnection();
    stillPin->DropConnection();
}

void SimFilter::StopStreaming()
{
    {
        std::lock_guard lock(stateMutex);
        stopping = true;
        state = FilterState::Stopped;
        pendingStills.clear();
    }
    wake.notify_all();
    JoinUnlessSelf(liveThread);
    JoinUnlessSelf(stillThread);
}

// Tear-down (pins, Stop, GetState, graph membership) keeps working after removal so that a graph
// holding the filter can still be stopped and dismantled.
HRESULT SimFilter::EnumPins(std::vector<std::shared_ptr<IPin>>* pins)
{
    if (!pins)
        return E_POINTER;
    pins->clear();
    pins->push_back(capturePin);
    if (device->HasStillPin())
        pins->push_back(stillPin);
    return S_OK;
}

HRESULT SimFilter::JoinFilterGraph(IFilterGraph*, const std::string& name)
{
    std::lock_guard lock(stateMutex);
    graphName = name;
    return S_OK;
}

std::string SimFilter::Name() const
{
    std::lock_guard lock(stateMutex);
    return graphName.empty() ? device->FriendlyName() : graphName;
}

HRESULT SimFilter::Run()
{
    std::lock_guard lock(runMutex);
    if (HRESULT hr = CheckDevice(); Failed(hr))
        return hr;
    if (device->Faults().busy)
        return HresultFromWin32(ERROR_SHARING_VIOLATION);
    {
        std::lock_guard state_lock(stateMutex);
        if (state == FilterState::Running)
            return S_OK;
        state = FilterState::Running;
        stopping = false;
        runStart = Clock::now();
    }
    liveThread = std::thread(&SimFilter::LiveLoop, this);
    stillThread = std::thread(&SimFilter::StillLoop, this);
    return S_OK;
}

HRESULT SimFilter::Stop()
{
    std::lock_guard lock(runMutex);
    StopStreaming();
    return S_OK;
}

HRESULT SimFilter::GetState(std::uint32_t, FilterState* current)
{
    if (!current)
        return E_POINTER;
    std::lock_guard lock(stateMutex);
    *current = state;
    return S_OK;
}

std::shared_ptr<IKsControl> SimFilter::QueryKsControl()
{
    return std::shared_ptr<IKsControl>(shared_from_this(), static_cast<IKsControl*>(this));
}

std::shared_ptr<IKsTopologyInfo> SimFilter::QueryKsTopologyInfo()
{
    return std::shared_ptr<IKsTopologyInfo>(shared_from_this(), static_cast<IKsTopologyInfo*>(this));
}

std::shared_ptr<IAMVideoProcAmp> SimFilter::QueryVideoProcAmp()
{
    return std::shared_ptr<IAMVideoProcAmp>(shared_from_this(), &videoProcAmp);
}

std::shared_ptr<IAMCameraControl> SimFilter::QueryCameraControl()
{
    return std::shared_ptr<IAMCameraControl>(shared_from_this(), &cameraControl);
}

std::shared_ptr<IAMVideoControl> SimFilter::QueryVideoControl()
{
    return std::shared_ptr<IAMVideoControl>(shared_from_this(), static_cast<IAMVideoControl*>(this));
}

HRESULT SimFilter::KsProperty(const KSP_NODE& property, void* data, std::uint32_t length,
                              std::uint32_t* bytesReturned)
{
    if (HRESULT hr = CheckDevice(); Failed(hr))
        return hr;
    return device->KsProperty(property, data, length, bytesReturned);
}

HRESULT SimFilter::get_NumNodes(std::uint32_t* count)
{
    if (!count)
        return E_POINTER;
    if (HRESULT hr = CheckDevice(); Failed(hr))
        return hr;
    *count = std::uint32_t(device->TopologyNodes().size());
    return S_OK;
}

HRESULT SimFilter::get_NodeType(std::uint32_t node, Guid* type)
{
    if (!type)
        return E_POINTER;
    if (HRESULT hr = CheckDevice(); Failed(hr))
        return hr;
    const auto nodes = device->TopologyNodes();
    if (node >= nodes.size())
        return E_INVALIDARG;
    *type = nodes[node];
    return S_OK;
}

HRESULT SimFilter::SetMode(const std::shared_ptr<IPin>& pin, std::int32_t mode)
{
    if (HRESULT hr = CheckDevice(); Failed(hr))
        return hr;
    if (!pin || pin.get() != static_cast<IPin*>(stillPin.get()) || !device->HasStillPin())
        return E_INVALIDARG;
    device->WaitForControlEndpoint();   // the trigger is a control request too
    const ScannerFaults faults = device->Faults();
    {
        std::lock_guard lock(stateMutex);
        stillPinMode = mode & ~VideoControlFlag_Trigger;
        // A trigger while stopped, or one the device ignores, yields nothing.
        if (!(mode & VideoControlFlag_Trigger) || faults.ignoreTrigger || state != FilterState::Running)
            return S_OK;
        pendingStills.push_back(Clock::now() + std::chrono::milliseconds(faults.stillDelayMs));
    }
    wake.notify_all();
    return S_OK;
}

HRESULT SimFilter::GetMode(const std::shared_ptr<IPin>& pin, std::int32_t* mode)
{
    if (!mode)
        return E_POINTER;
    if (HRESULT hr = CheckDevice(); Failed(hr))
        return hr;
    if (!pin || pin.get() != static_cast<IPin*>(stillPin.get()))
        return E_INVALIDARG;
    std::lock_guard lock(stateMutex);
    *mode = stillPinMode;
    return S_OK;
}

void SimFilter::LiveLoop()
{
    FrameRenderer renderer(*device, kLiveJpegQuality);
    auto next = Clock::now();
    Clock::time_point start;
    {
        std::lock_guard lock(stateMutex);
        start = runStart;
    }
    for (;;) {
        {
            std::unique_lock lock(stateMutex);
            if (wake.wait_until(lock, next, [this] { return stopping; }))
                return;
        }
        const auto connection = capturePin->CurrentConnection();
        const auto* frame = connection.peer ? renderer.Render(*connection.type) : nullptr;
        if (frame) {
            MediaSample sample;
            sample.data = frame->data();
            sample.length = std::int32_t(frame->size());
            sample.time = std::chrono::duration<double>(Clock::now() - start).count();
            sample.type = connection.type.get();
            connection.peer->Receive(sample);
        }
        // A steady rate; after a stall, resume from now instead of catching up in a burst.
        next += kFramePeriod;
        if (Clock::now() > next + kFramePeriod)
            next = Clock::now();
    }
}

void SimFilter::StillLoop()
{
    FrameRenderer renderer(*device, kStillQuality);
    Clock::time_point start;
    {
        std::lock_guard lock(stateMutex);
        start = runStart;
    }
    // Prepare the still-sized picture while nothing waits for it.
    {
        const auto connection = stillPin->CurrentConnection();
        std::int32_t w = 0, h = 0;
        if (connection.peer && ReadVideoInfoSize(*connection.type, w, h) && w > 0 && h > 0)
            device->SensorImage(w, h);
    }
    for (;;) {
        {
            std::unique_lock lock(stateMutex);
            wake.wait(lock, [this] { return stopping || !pendingStills.empty(); });
            if (stopping)
                return;
            const auto due = pendingStills.front();
            if (wake.wait_until(lock, due, [this] { return stopping; }))
                return;
            if (pendingStills.empty())
                continue;
            pendingStills.pop_front();
        }
        if (!device->HasStillPin())
            continue;
        const auto connection = stillPin->CurrentConnection();
        const auto* still = connection.peer ? renderer.Render(*connection.type) : nullptr;
        if (!still)
            continue;
        MediaSample sample;
        sample.data = still->data();
        sample.length = std::int32_t(still->size());
        sample.time = std::chrono::duration<double>(Clock::now() - start).count();
        sample.type = connection.type.get();
        connection.peer->Receive(sample);
    }
}

} // namespace vistrel::sim
