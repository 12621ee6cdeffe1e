#pragma once
// Hands the window's native messages to the capture platform's device notifications: on Windows the
// system sends device arrivals and removals to the window as WM_DEVICECHANGE, which only the toolkit's
// own message loop sees.
#include "capture/contract/Devices.h"

#include <QAbstractNativeEventFilter>

namespace vistrel {

class DeviceChangeFilter final : public QAbstractNativeEventFilter
{
public:
    explicit DeviceChangeFilter(IDeviceNotifications& notifications) : notifications(notifications) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    IDeviceNotifications& notifications;
};

} // namespace vistrel
