#pragma once
// Device arrival and removal as the system sends them: WM_DEVICECHANGE to a window registered with
// RegisterDeviceNotificationW for each interface class asked for. The window's owner hands every
// message to Deliver (the program through its native event filter, a program without a toolkit
// through the window procedure of a message-only window).
#include <windows.h>

#include <map>
#include <mutex>

#include "capture/contract/Devices.h"

namespace vistrel::dshow {

class DeviceChangeMessages final : public vistrel::IDeviceNotifications {
public:
    DeviceChangeMessages() = default;
    ~DeviceChangeMessages() override;
    DeviceChangeMessages(const DeviceChangeMessages&) = delete;
    DeviceChangeMessages& operator=(const DeviceChangeMessages&) = delete;

    DeviceNotificationHandle Register(const vistrel::Guid& interfaceClass,
                                      std::function<void(const DeviceChange&)> callback) override;
    void Unregister(DeviceNotificationHandle handle) override;
    // Registrations made before the window is known are made on it once it is.
    void SetMessageWindow(std::uintptr_t window) override;
    bool DeliverMessage(const void* message) override; // a MSG
    bool Deliver(UINT message, WPARAM wParam, LPARAM lParam);

private:
    struct Listener {
        vistrel::Guid interfaceClass;
        std::function<void(const DeviceChange&)> callback;
        HDEVNOTIFY registration = nullptr;
    };
    HDEVNOTIFY RegisterOn(HWND target, const vistrel::Guid& interfaceClass) const;

    std::mutex mutex;
    HWND window = nullptr;
    DeviceNotificationHandle next = 1;
    std::map<DeviceNotificationHandle, Listener> listeners;
};

} // namespace vistrel::dshow
