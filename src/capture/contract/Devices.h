#pragma once
// Video input devices: enumeration, binding, the device path, and arrival/removal notifications.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/contract/Filter.h"
#include "capture/contract/Reason.h"

namespace vistrel {

class IPropertyBag {
public:
    virtual ~IPropertyBag() = default;
    // Reads a named text property ("DevicePath", "FriendlyName").
    virtual HRESULT Read(const std::string& name, std::string* value) = 0;
};

// One entry of a device category; binding yields the device's source filter.
class IMoniker {
public:
    virtual ~IMoniker() = default;
    virtual HRESULT BindToObject(std::shared_ptr<IBaseFilter>* filter) = 0;
    virtual HRESULT BindToStorage(std::shared_ptr<IPropertyBag>* bag) = 0;
};

class ICreateDevEnum {
public:
    virtual ~ICreateDevEnum() = default;
    // S_FALSE with an empty list when the category holds no device.
    virtual HRESULT CreateClassEnumerator(const Guid& category, std::vector<std::shared_ptr<IMoniker>>* devices) = 0;
};

#ifndef DBT_DEVICEARRIVAL
constexpr std::uint32_t DBT_DEVICEARRIVAL = 0x8000;
#endif
#ifndef DBT_DEVICEREMOVECOMPLETE
constexpr std::uint32_t DBT_DEVICEREMOVECOMPLETE = 0x8004;
#endif
#ifndef DBT_DEVTYP_DEVICEINTERFACE
constexpr std::uint32_t DBT_DEVTYP_DEVICEINTERFACE = 5;
#endif

struct DeviceChange {
    std::uint32_t event = 0;     // DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE
    Guid interfaceClass;         // KSCATEGORY_CAPTURE for video capture devices
    std::string name;            // the device path
};

using DeviceNotificationHandle = std::uint64_t;

// Arrival and removal of device interfaces; callbacks may run on any thread.
class IDeviceNotifications {
public:
    virtual ~IDeviceNotifications() = default;
    // Zero when registration failed.
    virtual DeviceNotificationHandle Register(const Guid& interfaceClass,
                                              std::function<void(const DeviceChange&)> callback) = 0;
    virtual void Unregister(DeviceNotificationHandle handle) = 0;
    // Platforms whose notifications come as window messages (Windows): the window they are sent to, and
    // every message that window receives (the platform's MSG); true when it was a device change.
    virtual void SetMessageWindow(std::uintptr_t window) { (void)window; }
    virtual bool DeliverMessage(const void* message)
    {
        (void)message;
        return false;
    }
};

// A device that is present but cannot be used, and why; the window says what mends it.
struct UnusableDevice {
    std::string name; // the device path
    Reason reason;
};

// What a backend offers the platform: its present devices and their arrivals and removals.
class IDeviceSource {
public:
    virtual ~IDeviceSource() = default;
    virtual void AppendVideoInputDevices(std::vector<std::shared_ptr<IMoniker>>* devices) = 0;
    // The devices the last enumeration listed but could not open (a node the user may not open).
    virtual std::vector<UnusableDevice> UnusableDevices() { return {}; }
    // The platform installs one sink; the backend calls it on any thread.
    virtual void SetChangeSink(std::function<void(const DeviceChange&)> sink) = 0;
};

} // namespace vistrel
