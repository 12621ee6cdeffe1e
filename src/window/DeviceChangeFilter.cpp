#include "window/DeviceChangeFilter.h"

#include <QByteArray>

namespace vistrel {

bool DeviceChangeFilter::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result)
{
    (void)result;
    // The message goes on to the toolkit, which answers it as the system expects.
    if (eventType == QByteArrayLiteral("windows_generic_MSG"))
        notifications.DeliverMessage(message);
    return false;
}

} // namespace vistrel
