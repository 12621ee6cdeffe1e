#include "capture/dshow/DeviceChangeMessages.h"

#include <dbt.h>

#include <string>
#include <vector>

#include "capture/dshow/ComGuid.h"
#include "capture/dshow/WideText.h"

namespace vistrel::dshow {

DeviceChangeMessages::~DeviceChangeMessages()
{
    for (auto& [handle, listener] : listeners)
        if (listener.registration)
            UnregisterDeviceNotification(listener.registration);
}

HDEVNOTIFY DeviceChangeMessages::RegisterOn(HWND target, const vistrel::Guid& interfaceClass) const
{
    if (!target)
        return nullptr;
    DEV_BROADCAST_DEVICEINTERFACE_W filter {};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = ToGuid(interfaceClass);
    return RegisterDeviceNotificationW(target, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

DeviceNotificationHandle DeviceChangeMessages::Register(const vistrel::Guid& interfaceClass,
                                                        std::function<void(const DeviceChange&)> callback)
{
    if (!callback)
        return 0;
    const std::lock_guard lock(mutex);
    const DeviceNotificationHandle handle = next++;
    listeners[handle] = Listener {interfaceClass, std::move(callback), RegisterOn(window, interfaceClass)};
    return handle;
}

void DeviceChangeMessages::Unregister(DeviceNotificationHandle handle)
{
    const std::lock_guard lock(mutex);
    const auto found = listeners.find(handle);
    if (found == listeners.end())
        return;
    if (found->second.registration)
        UnregisterDeviceNotification(found->second.registration);
    listeners.erase(found);
}

void DeviceChangeMessages::SetMessageWindow(std::uintptr_t handle)
{
    const std::lock_guard lock(mutex);
    const HWND target = reinterpret_cast<HWND>(handle);
    if (target == window)
        return;
    window = target;
    for (auto& [id, listener] : listeners) {
        if (listener.registration)
            UnregisterDeviceNotification(listener.registration);
        listener.registration = RegisterOn(window, listener.interfaceClass);
    }
}

bool DeviceChangeMessages::DeliverMessage(const void* message)
{
    const auto* msg = static_cast<const MSG*>(message);
    return msg && (!window || msg->hwnd == window) && Deliver(msg->message, msg->wParam, msg->lParam);
}

bool DeviceChangeMessages::Deliver(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_DEVICECHANGE || (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE) || !lParam)
        return false;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if (header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE || header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W))
        return false;
    const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(lParam);
    // The name runs to its terminator within the structure's stated size.
    const std::size_t room = (header->dbch_size - offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) / sizeof(wchar_t);
    std::size_t length = 0;
    while (length < room && broadcast->dbcc_name[length] != L'\0')
        ++length;

    DeviceChange change;
    change.event = std::uint32_t(wParam);
    change.interfaceClass = FromGuid(broadcast->dbcc_classguid);
    change.name = Utf8FromWide(std::wstring(broadcast->dbcc_name, length));

    std::vector<std::function<void(const DeviceChange&)>> callbacks;
    {
        const std::lock_guard lock(mutex);
        for (const auto& [id, listener] : listeners)
            if (listener.interfaceClass == change.interfaceClass)
                callbacks.push_back(listener.callback);
    }
    for (const auto& callback : callbacks)
        callback(change);
    return !callbacks.empty();
}

} // namespace vistrel::dshow
