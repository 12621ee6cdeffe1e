#include "ScannerFilter.h"

#include <algorithm>
#include <cstring>

#include "capture/contract/Graph.h"
#include "capture/dshow/ComGuid.h"
#include "capture/sim/SimulatedDevice.h"

namespace vistrel::dshow::test {
namespace {

using Microsoft::WRL::ComPtr;

// The device interface class of capture devices (KSCATEGORY_CAPTURE).
constexpr GUID kCaptureCategory {0x65E8773D, 0x8F56, 0x11D0, {0xA3, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

constexpr std::int32_t kProcAmp = int(sim::PropertyFamily::VideoProcAmp);
constexpr std::int32_t kCamera = int(sim::PropertyFamily::CameraControl);

HRESULT Range(sim::SimulatedDevice& device, std::int32_t family, long property, long* minimum, long* maximum,
              long* step, long* defaultValue, long* capsFlags)
{
    if (!minimum || !maximum || !step || !defaultValue || !capsFlags)
        return E_POINTER;
    sim::PropertyRange range;
    const HRESULT hr = device.GetRange(sim::PropertyFamily(family), property, &range);
    if (SUCCEEDED(hr)) {
        *minimum = range.minimum;
        *maximum = range.maximum;
        *step = range.step;
        *defaultValue = range.defaultValue;
        *capsFlags = range.capsFlags;
    }
    return hr;
}

HRESULT Value(sim::SimulatedDevice& device, std::int32_t family, long property, long* value, long* flags)
{
    if (!value || !flags)
        return E_POINTER;
    std::int32_t v = 0, f = 0;
    const HRESULT hr = device.GetProperty(sim::PropertyFamily(family), property, &v, &f);
    if (SUCCEEDED(hr)) {
        *value = v;
        *flags = f;
    }
    return hr;
}

// The filter's pins, in order, as IEnumPins hands them out; it keeps the filter alive.
class PinList final : public ComObject<IEnumPins> {
public:
    PinList(::IBaseFilter* owner, std::vector<::IPin*> pins, std::size_t position = 0)
        : owner(owner), pins(std::move(pins)), position(position) {}

    STDMETHODIMP Next(ULONG count, ::IPin** out, ULONG* fetched) override
    {
        if (!out || (count > 1 && !fetched))
            return E_POINTER;
        ULONG n = 0;
        for (; n < count && position < pins.size(); ++n, ++position) {
            out[n] = pins[position];
            out[n]->AddRef();
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override
    {
        position = std::min(pins.size(), position + count);
        return position < pins.size() ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override
    {
        position = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumPins** out) override
    {
        if (!out)
            return E_POINTER;
        *out = new PinList(owner.Get(), pins, position);
        return S_OK;
    }

private:
    ~PinList() override = default;
    ComPtr<::IBaseFilter> owner;
    std::vector<::IPin*> pins;
    std::size_t position;
};

} // namespace

void ButtonLine::Listen(ScannerFilter* filter)
{
    const std::lock_guard lock(mutex);
    if (std::find(listeners.begin(), listeners.end(), filter) == listeners.end())
        listeners.push_back(filter);
}

void ButtonLine::Leave(ScannerFilter* filter)
{
    const std::lock_guard lock(mutex);
    std::erase(listeners, filter);
}

HRESULT ButtonLine::Press()
{
    // A filter leaves before it goes, and waits for a press in progress to do so.
    const std::lock_guard lock(mutex);
    for (ScannerFilter* filter : listeners)
        filter->RaiseButton();
    return listeners.empty() ? S_FALSE : S_OK;
}

ScannerFilter::ScannerFilter(const CLSID& id, std::shared_ptr<sim::SimulatedDevice> device,
                             std::shared_ptr<DeliveryTally> tally, std::shared_ptr<ButtonLine> button)
    : id(id), device(std::move(device)), tally(std::move(tally)), button(std::move(button))
{
    pins.push_back(std::make_unique<ScannerPin>(*this, L"Capture", ::PIN_CATEGORY_CAPTURE, this->device->CaptureFormats()));
    if (this->device->HasStillPin())
        pins.push_back(std::make_unique<ScannerPin>(*this, L"Still", ::PIN_CATEGORY_STILL, this->device->StillFormats()));
}

ScannerFilter::~ScannerFilter()
{
    button->Leave(this);
    for (auto& pin : pins)
        pin->StopStreaming();
}

STDMETHODIMP ScannerFilter::QueryInterface(REFIID iid, void** out)
{
    if (iid == IID_IAMCameraControl && out) {
        *out = static_cast<::IAMCameraControl*>(&camera);
        AddRef();
        return S_OK;
    }
    if (iid == IID_IAMVideoControl && !device->HasStillPin()) {
        if (out)
            *out = nullptr;
        return E_NOINTERFACE;
    }
    return ComObject::QueryInterface(iid, out);
}

FILTER_STATE ScannerFilter::State() const
{
    const std::lock_guard lock(stateLock);
    return state;
}

HRESULT ScannerFilter::Refusal() const
{
    if (!device->IsPlugged())
        return sim::E_DEVICE_NOT_CONNECTED;
    if (device->Faults().busy)
        return HresultFromWin32(ERROR_SHARING_VIOLATION);
    return S_OK;
}

STDMETHODIMP ScannerFilter::GetClassID(CLSID* out)
{
    if (!out)
        return E_POINTER;
    *out = id;
    return S_OK;
}

STDMETHODIMP ScannerFilter::Stop()
{
    const std::lock_guard lock(stateLock);
    for (auto& pin : pins)
        pin->StopStreaming();
    state = State_Stopped;
    refused = S_OK;
    return S_OK;
}

STDMETHODIMP ScannerFilter::Pause()
{
    const std::lock_guard lock(stateLock);
    if (state == State_Stopped) {
        refused = Refusal();
        if (FAILED(refused)) {
            state = State_Paused; // the state asked for, which GetState answers with the refusal
            return refused;
        }
        for (auto& pin : pins)
            if (const HRESULT hr = pin->Commit(); FAILED(hr))
                return hr;
    } else if (state == State_Running) {
        for (auto& pin : pins)
            pin->HoldStreaming();
    }
    state = State_Paused;
    return S_OK;
}

STDMETHODIMP ScannerFilter::Run(REFERENCE_TIME)
{
    if (State() == State_Stopped)
        Pause(); // a refusal is kept and answered below
    const std::lock_guard lock(stateLock);
    if (FAILED(refused) || FAILED(refused = Refusal())) {
        state = State_Running;
        return refused;
    }
    for (auto& pin : pins)
        pin->StartStreaming();
    state = State_Running;
    return S_OK;
}

STDMETHODIMP ScannerFilter::GetState(DWORD, FILTER_STATE* out)
{
    if (!out)
        return E_POINTER;
    const std::lock_guard lock(stateLock);
    *out = state;
    if (FAILED(refused))
        return refused;
    // A live source has nothing to cue while paused.
    return state == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP ScannerFilter::SetSyncSource(IReferenceClock* newClock)
{
    const std::lock_guard lock(stateLock);
    clock = newClock;
    return S_OK;
}

STDMETHODIMP ScannerFilter::GetSyncSource(IReferenceClock** out)
{
    if (!out)
        return E_POINTER;
    const std::lock_guard lock(stateLock);
    *out = clock.Get();
    if (*out)
        (*out)->AddRef();
    return S_OK;
}

STDMETHODIMP ScannerFilter::EnumPins(IEnumPins** out)
{
    if (!out)
        return E_POINTER;
    std::vector<::IPin*> list;
    for (auto& pin : pins)
        list.push_back(pin.get());
    *out = new PinList(this, std::move(list));
    return S_OK;
}

STDMETHODIMP ScannerFilter::FindPin(LPCWSTR name, ::IPin** out)
{
    if (!name || !out)
        return E_POINTER;
    *out = nullptr;
    for (auto& pin : pins) {
        LPWSTR pinId = nullptr;
        if (SUCCEEDED(pin->QueryId(&pinId))) {
            const bool same = lstrcmpW(pinId, name) == 0;
            CoTaskMemFree(pinId);
            if (same) {
                *out = pin.get();
                pin->AddRef();
                return S_OK;
            }
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP ScannerFilter::QueryFilterInfo(FILTER_INFO* info)
{
    if (!info)
        return E_POINTER;
    const std::lock_guard lock(stateLock);
    *info = FILTER_INFO {};
    lstrcpynW(info->achName, graphName.c_str(), MAX_FILTER_NAME);
    info->pGraph = graph;
    if (graph)
        graph->AddRef();
    return S_OK;
}

STDMETHODIMP ScannerFilter::JoinFilterGraph(::IFilterGraph* newGraph, LPCWSTR name)
{
    {
        const std::lock_guard lock(stateLock);
        graph = newGraph;
        graphName = name ? name : L"";
    }
    // Outside the state lock: a press holds the line's lock and then takes the state lock.
    if (newGraph)
        button->Listen(this);
    else
        button->Leave(this);
    return S_OK;
}

void ScannerFilter::RaiseButton()
{
    ComPtr<::IMediaEventSink> sink;
    {
        const std::lock_guard lock(stateLock);
        if (graph)
            graph->QueryInterface(IID_IMediaEventSink, &sink);
    }
    if (sink)
        sink->Notify(EC_STILL_BUTTON, 0, 0);
}

STDMETHODIMP ScannerFilter::GetRange(long property, long* minimum, long* maximum, long* step, long* defaultValue,
                                     long* capsFlags)
{
    return Range(*device, kProcAmp, property, minimum, maximum, step, defaultValue, capsFlags);
}

STDMETHODIMP ScannerFilter::Set(long property, long value, long flags)
{
    return device->SetProperty(sim::PropertyFamily::VideoProcAmp, property, value, flags);
}

STDMETHODIMP ScannerFilter::Get(long property, long* value, long* flags)
{
    return Value(*device, kProcAmp, property, value, flags);
}

STDMETHODIMP ScannerFilter::CameraControl::GetRange(long property, long* minimum, long* maximum, long* step,
                                                    long* defaultValue, long* capsFlags)
{
    return Range(*outer.device, kCamera, property, minimum, maximum, step, defaultValue, capsFlags);
}

STDMETHODIMP ScannerFilter::CameraControl::Set(long property, long value, long flags)
{
    return outer.device->SetProperty(sim::PropertyFamily::CameraControl, property, value, flags);
}

STDMETHODIMP ScannerFilter::CameraControl::Get(long property, long* value, long* flags)
{
    return Value(*outer.device, kCamera, property, value, flags);
}

ScannerPin* ScannerFilter::PinOf(::IPin* pin) const
{
    for (auto& ours : pins)
        if (static_cast<::IPin*>(ours.get()) == pin)
            return ours.get();
    return nullptr;
}

STDMETHODIMP ScannerFilter::GetCaps(::IPin* pin, long* flags)
{
    if (!pin || !flags)
        return E_POINTER;
    const ScannerPin* ours = PinOf(pin);
    if (!ours)
        return E_INVALIDARG;
    *flags = ours->IsStill() ? VideoControlFlag_Trigger | VideoControlFlag_ExternalTriggerEnable : 0;
    return S_OK;
}

STDMETHODIMP ScannerFilter::SetMode(::IPin* pin, long mode)
{
    if (!pin)
        return E_POINTER;
    ScannerPin* ours = PinOf(pin);
    if (!ours || !ours->IsStill())
        return E_INVALIDARG;
    if (mode & VideoControlFlag_Trigger)
        return ours->Trigger();
    return S_OK;
}

STDMETHODIMP ScannerFilter::GetMode(::IPin* pin, long* mode)
{
    if (!pin || !mode)
        return E_POINTER;
    const ScannerPin* ours = PinOf(pin);
    if (!ours)
        return E_INVALIDARG;
    *mode = ours->IsStill() ? VideoControlFlag_ExternalTriggerEnable : 0;
    return S_OK;
}

STDMETHODIMP ScannerFilter::KsProperty(PKSPROPERTY property, ULONG length, LPVOID data, ULONG dataLength,
                                       ULONG* returned)
{
    if (!property || !returned)
        return E_POINTER;
    if (length < sizeof(::KSP_NODE))
        return E_INVALIDARG;
    vistrel::KSP_NODE request;
    std::memcpy(&request, property, sizeof request);
    std::uint32_t bytes = 0;
    const HRESULT hr = device->KsProperty(request, data, dataLength, &bytes);
    *returned = bytes;
    return hr;
}

STDMETHODIMP ScannerFilter::get_NumCategories(DWORD* count)
{
    if (!count)
        return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP ScannerFilter::get_Category(DWORD index, GUID* out)
{
    if (!out)
        return E_POINTER;
    if (index != 0)
        return E_INVALIDARG;
    *out = kCaptureCategory;
    return S_OK;
}

STDMETHODIMP ScannerFilter::get_NumConnections(DWORD* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP ScannerFilter::get_NumNodes(DWORD* count)
{
    if (!count)
        return E_POINTER;
    *count = DWORD(device->TopologyNodes().size());
    return S_OK;
}

STDMETHODIMP ScannerFilter::get_NodeType(DWORD node, GUID* out)
{
    if (!out)
        return E_POINTER;
    const auto nodes = device->TopologyNodes();
    if (node >= nodes.size())
        return E_INVALIDARG;
    *out = ToGuid(nodes[node]);
    return S_OK;
}

STDMETHODIMP ScannerFilter::PropertyValue(LONG family, LONG property, LONG* value)
{
    if (!value)
        return E_POINTER;
    const auto held = device->PropertyValue(sim::PropertyFamily(family), property);
    if (!held)
        return E_PROP_ID_UNSUPPORTED;
    *value = *held;
    return S_OK;
}

STDMETHODIMP ScannerFilter::SetBusy(BOOL busy)
{
    sim::ScannerFaults faults = device->Faults();
    faults.busy = busy != FALSE;
    device->SetFaults(faults);
    return S_OK;
}

STDMETHODIMP ScannerFilter::PressButton()
{
    return button->Press();
}

STDMETHODIMP ScannerFilter::Delivered(LONG* frames, LONG* stills)
{
    if (!frames || !stills)
        return E_POINTER;
    *frames = tally->frames.load();
    *stills = tally->stills.load();
    return S_OK;
}

} // namespace vistrel::dshow::test
