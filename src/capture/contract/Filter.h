#pragma once
// Filters and pins: the building blocks of a capture graph.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/contract/CameraControls.h"
#include "capture/contract/Guid.h"
#include "capture/contract/KernelStreaming.h"
#include "capture/contract/MediaType.h"
#include "capture/contract/Result.h"

#if defined(_WIN32)
#include <vfwmsgs.h> // the same codes as the SDK's macros
#endif

namespace vistrel {

class IBaseFilter;
class IFilterGraph;
class IVideoWindow;

enum class PinDirection { Input, Output };
enum class FilterState { Stopped, Paused, Running };

// One media sample as it travels downstream; the bytes belong to the sender and are valid during the call.
struct MediaSample {
    const std::uint8_t* data = nullptr;
    std::int32_t length = 0;
    double time = 0.0; // seconds
    const MediaType* type = nullptr; // the connection's type
};

struct PinInfo {
    std::shared_ptr<IBaseFilter> filter;
    PinDirection direction = PinDirection::Input;
    std::string name;
};

// Pin property access; the pin category is read from AMPROPSETID_Pin / AMPROPERTY_PIN_CATEGORY.
class IKsPropertySet {
public:
    virtual ~IKsPropertySet() = default;
    virtual HRESULT Get(const Guid& set, std::uint32_t id, void* instanceData, std::uint32_t instanceLength,
                        void* propertyData, std::uint32_t dataLength, std::uint32_t* bytesReturned) = 0;
};

// A pin's format list and current format.
class IAMStreamConfig {
public:
    virtual ~IAMStreamConfig() = default;
    virtual HRESULT GetNumberOfCapabilities(std::int32_t* count, std::int32_t* capsSize) = 0;
    // caps receives capsSize bytes of capability structures.
    virtual HRESULT GetStreamCaps(std::int32_t index, MediaType* type, std::uint8_t* caps) = 0;
    virtual HRESULT SetFormat(const MediaType& type) = 0;
    virtual HRESULT GetFormat(MediaType* type) = 0;
};

class IPin {
public:
    virtual ~IPin() = default;

    // Output pins: connect to receivePin; type may be null for "the pin's current format".
    virtual HRESULT Connect(const std::shared_ptr<IPin>& receivePin, const MediaType* type) = 0;
    // Input pins: accept a connection from an output pin.
    virtual HRESULT ReceiveConnection(const std::shared_ptr<IPin>& connector, const MediaType& type) = 0;
    virtual HRESULT Disconnect() = 0;
    // VFW_E_NOT_CONNECTED when unconnected.
    virtual HRESULT ConnectedTo(std::shared_ptr<IPin>* pin) = 0;
    virtual HRESULT ConnectionMediaType(MediaType* type) = 0;
    virtual HRESULT QueryPinInfo(PinInfo* info) = 0;
    virtual HRESULT QueryDirection(PinDirection* direction) = 0;
    // Input pins: one sample from the connected output pin (called on the sender's streaming thread).
    virtual HRESULT Receive(const MediaSample& sample) = 0;

    // Interfaces a pin may offer; none by default.
    virtual std::shared_ptr<IKsPropertySet> QueryKsPropertySet() { return nullptr; }
    virtual std::shared_ptr<IAMStreamConfig> QueryStreamConfig() { return nullptr; }
};

class IBaseFilter {
public:
    virtual ~IBaseFilter() = default;

    virtual HRESULT EnumPins(std::vector<std::shared_ptr<IPin>>* pins) = 0;
    virtual HRESULT JoinFilterGraph(IFilterGraph* graph, const std::string& name) = 0;
    virtual std::string Name() const = 0;
    // Run may answer S_FALSE while the change is pending; GetState then reports progress.
    virtual HRESULT Run() = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetState(std::uint32_t timeoutMs, FilterState* state) = 0;

    // Interfaces a filter may offer; none by default.
    virtual std::shared_ptr<IKsControl> QueryKsControl() { return nullptr; }
    virtual std::shared_ptr<IKsTopologyInfo> QueryKsTopologyInfo() { return nullptr; }
    virtual std::shared_ptr<IAMVideoProcAmp> QueryVideoProcAmp() { return nullptr; }
    virtual std::shared_ptr<IAMCameraControl> QueryCameraControl() { return nullptr; }
    virtual std::shared_ptr<IAMVideoControl> QueryVideoControl() { return nullptr; }
    // A video renderer's window; the graph forwards its own IVideoWindow to it.
    virtual std::shared_ptr<IVideoWindow> QueryVideoWindow() { return nullptr; }
};

#ifndef VFW_E_NOT_CONNECTED
constexpr HRESULT VFW_E_NOT_CONNECTED = MakeResult(0x80040209u);
#endif
#ifndef VFW_E_ALREADY_CONNECTED
constexpr HRESULT VFW_E_ALREADY_CONNECTED = MakeResult(0x80040204u);
#endif
#ifndef VFW_E_TYPE_NOT_ACCEPTED
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = MakeResult(0x8004022Au);
#endif
#ifndef VFW_E_NOT_FOUND
constexpr HRESULT VFW_E_NOT_FOUND = MakeResult(0x80040216u);
#endif
#ifndef VFW_E_CANNOT_RENDER
constexpr HRESULT VFW_E_CANNOT_RENDER = MakeResult(0x80040218u);
#endif
#ifndef VFW_E_NOT_STOPPED
constexpr HRESULT VFW_E_NOT_STOPPED = MakeResult(0x80040224u);
#endif
#ifndef VFW_S_STATE_INTERMEDIATE
constexpr HRESULT VFW_S_STATE_INTERMEDIATE = MakeResult(0x00040237u);
#endif

} // namespace vistrel
