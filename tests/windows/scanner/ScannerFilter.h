#pragma once
// The simulated scanner as a DirectShow capture source filter, written from Microsoft's documentation of
// the interfaces a video capture filter offers: IBaseFilter with a capture pin and a still pin (each with
// IKsPropertySet for its category and IAMStreamConfig), IAMVideoProcAmp, IAMCameraControl,
// IAMVideoControl (the still trigger), IKsTopologyInfo and IKsControl (the extension unit). It stands in
// for the filter the Windows UVC driver gives a real scanner and has not been checked against that
// driver. Its device model and picture are the simulator's (sim::SimulatedDevice, FrameRenderer).
//
// Every property interface may be called from any thread: the device model locks its own state, and
// the filter's run state and pins are guarded by the filter's lock.
#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/contract/MediaType.h"
#include "capture/dshow/ComObject.h"
#include "capture/dshow/KsInterfaces.h"
#include "ScannerRemote.h"

namespace vistrel::sim {
class SimulatedDevice;
}

namespace vistrel::dshow::test {

class ScannerFilter;

// Samples a device has delivered, over every instance of its filter in this process.
struct DeliveryTally {
    std::atomic<LONG> frames {0};
    std::atomic<LONG> stills {0};
};

// The device's own button, heard by every filter of the device that is in a graph, as the driver's filter
// of an open device hears the button on the device's interrupt endpoint.
class ButtonLine {
public:
    void Listen(ScannerFilter* filter);
    void Leave(ScannerFilter* filter);
    // S_FALSE when no filter of the device is in a graph to hear it.
    HRESULT Press();

private:
    std::mutex mutex;
    std::vector<ScannerFilter*> listeners;
};

// One output pin. Its count is its filter's; the filter owns it.
class ScannerPin final : public ComPart<::IPin, ::IKsPropertySet, ::IAMStreamConfig> {
public:
    ScannerPin(ScannerFilter& filter, std::wstring name, const GUID& category, std::vector<vistrel::MediaType> formats);
    ~ScannerPin();

    // IPin
    STDMETHODIMP Connect(::IPin* receiver, const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP ReceiveConnection(::IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(::IPin** pin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
    STDMETHODIMP QueryId(LPWSTR* id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
    STDMETHODIMP QueryInternalConnections(::IPin**, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
    STDMETHODIMP BeginFlush() override { return E_UNEXPECTED; }
    STDMETHODIMP EndFlush() override { return E_UNEXPECTED; }
    STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

    // IKsPropertySet: the pin category (AMPROPSETID_Pin / AMPROPERTY_PIN_CATEGORY), read only.
    STDMETHODIMP Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) override { return E_PROP_SET_UNSUPPORTED; }
    STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data, DWORD dataLength,
                     DWORD* returned) override;
    STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

    // IAMStreamConfig
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* type) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** type) override;
    STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
    STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

    // The filter's state changes, under the filter's lock.
    HRESULT Commit();
    // Starts the pin's thread, or lets a held one send again.
    void StartStreaming();
    // Paused: the thread sends nothing more but is not waited for (see HoldStreaming in the source).
    void HoldStreaming();
    void StopStreaming();
    bool IsStill() const { return category == ::PIN_CATEGORY_STILL; }
    bool IsConnected() const;
    // Still pin: one still is rendered and sent on the pin's own thread.
    HRESULT Trigger();

private:
    std::ptrdiff_t FormatIndex(const AM_MEDIA_TYPE& type) const;
    HRESULT TryConnection(::IPin* receiver, std::size_t index);
    HRESULT DecideAllocator(::IMemInputPin* input, const vistrel::MediaType& type);
    void Stream();

    ScannerFilter& filter;
    const std::wstring name;
    const GUID category;
    const std::vector<vistrel::MediaType> formats;

    mutable std::mutex connectionLock;
    std::size_t current = 0;
    bool formatChosen = false;
    Microsoft::WRL::ComPtr<::IPin> peer;
    Microsoft::WRL::ComPtr<::IMemInputPin> input;
    Microsoft::WRL::ComPtr<::IMemAllocator> allocator;
    std::size_t connected = 0; // the format index of the connection

    std::mutex streamLock;
    std::condition_variable wake;
    bool stopping = false;
    bool holding = false;
    int triggers = 0;
    std::thread thread;
};

class ScannerFilter final : public ComObject<Answers<::IBaseFilter, ::IMediaFilter, ::IPersist>, ::IAMVideoProcAmp,
                                             ::IAMVideoControl, ::IKsControl, ::IKsTopologyInfo,
                                             ::IVistrelScannerRemote> {
public:
    ScannerFilter(const CLSID& id, std::shared_ptr<sim::SimulatedDevice> device, std::shared_ptr<DeliveryTally> tally,
                  std::shared_ptr<ButtonLine> button);

    sim::SimulatedDevice& Device() const { return *device; }
    DeliveryTally& Tally() const { return *tally; }
    FILTER_STATE State() const;

    // IUnknown: IAMCameraControl through its facet, IAMVideoControl only with a still pin.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;

    // IPersist, IMediaFilter, IBaseFilter
    STDMETHODIMP GetClassID(CLSID* id) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME start) override;
    STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
    STDMETHODIMP EnumPins(IEnumPins** pins) override;
    STDMETHODIMP FindPin(LPCWSTR id, ::IPin** pin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
    STDMETHODIMP JoinFilterGraph(::IFilterGraph* graph, LPCWSTR name) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

    // IAMVideoProcAmp
    STDMETHODIMP GetRange(long property, long* minimum, long* maximum, long* step, long* defaultValue,
                          long* capsFlags) override;
    STDMETHODIMP Set(long property, long value, long flags) override;
    STDMETHODIMP Get(long property, long* value, long* flags) override;

    // IAMVideoControl
    STDMETHODIMP GetCaps(::IPin* pin, long* flags) override;
    STDMETHODIMP SetMode(::IPin* pin, long mode) override;
    STDMETHODIMP GetMode(::IPin* pin, long* mode) override;
    STDMETHODIMP GetCurrentActualFrameRate(::IPin*, LONGLONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMaxAvailableFrameRate(::IPin*, long, SIZE, LONGLONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetFrameRateList(::IPin*, long, SIZE, long*, LONGLONG**) override { return E_NOTIMPL; }

    // IKsControl
    STDMETHODIMP KsProperty(PKSPROPERTY property, ULONG length, LPVOID data, ULONG dataLength, ULONG* returned) override;
    STDMETHODIMP KsMethod(PKSMETHOD, ULONG, LPVOID, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP KsEvent(PKSEVENT, ULONG, LPVOID, ULONG, ULONG*) override { return E_NOTIMPL; }

    // IKsTopologyInfo
    STDMETHODIMP get_NumCategories(DWORD* count) override;
    STDMETHODIMP get_Category(DWORD index, GUID* category) override;
    STDMETHODIMP get_NumConnections(DWORD* count) override;
    STDMETHODIMP get_ConnectionInfo(DWORD, KSTOPOLOGY_CONNECTION*) override { return E_INVALIDARG; }
    STDMETHODIMP get_NodeName(DWORD, WCHAR*, DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP get_NumNodes(DWORD* count) override;
    STDMETHODIMP get_NodeType(DWORD node, GUID* type) override;
    STDMETHODIMP CreateNodeInstance(DWORD, REFIID, void**) override { return E_NOTIMPL; }

    // IVistrelScannerRemote
    STDMETHODIMP PropertyValue(LONG family, LONG property, LONG* value) override;
    STDMETHODIMP SetBusy(BOOL busy) override;
    STDMETHODIMP Delivered(LONG* frames, LONG* stills) override;
    STDMETHODIMP PressButton() override;

    // The button was pressed: the still-button event goes to the graph the filter is in.
    void RaiseButton();

private:
    // IAMCameraControl has IAMVideoProcAmp's method names, so it is a facet of the filter.
    class CameraControl final : public ComFacet<::IAMCameraControl> {
    public:
        explicit CameraControl(ScannerFilter& outer) : ComFacet(static_cast<::IBaseFilter&>(outer)), outer(outer) {}
        STDMETHODIMP GetRange(long property, long* minimum, long* maximum, long* step, long* defaultValue,
                              long* capsFlags) override;
        STDMETHODIMP Set(long property, long value, long flags) override;
        STDMETHODIMP Get(long property, long* value, long* flags) override;

    private:
        ScannerFilter& outer;
    };

    ~ScannerFilter() override;
    HRESULT Refusal() const; // why the device cannot stream now; S_OK when it can
    ScannerPin* PinOf(::IPin* pin) const;

    const CLSID id;
    std::shared_ptr<sim::SimulatedDevice> device;
    std::shared_ptr<DeliveryTally> tally;
    std::shared_ptr<ButtonLine> button;
    CameraControl camera {*this};

    mutable std::mutex stateLock;
    FILTER_STATE state = State_Stopped;
    // A refused start stays visible to GetState, with the state asked for, until Stop: a graph that
    // went on regardless (Wine's quartz lets a renderer's pending pause hide a source's failure) still
    // hears it when it asks how the change went.
    HRESULT refused = S_OK;
    ::IFilterGraph* graph = nullptr; // not counted: the graph holds the filter
    std::wstring graphName;
    Microsoft::WRL::ComPtr<IReferenceClock> clock;
    std::vector<std::unique_ptr<ScannerPin>> pins;
};

} // namespace vistrel::dshow::test
