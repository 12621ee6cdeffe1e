#pragma once
// The video input devices as the system device enumerator lists them.
#include <memory>

#include "capture/contract/Devices.h"

namespace vistrel::dshow {

// Over CLSID_SystemDeviceEnum; every device is a moniker whose storage answers "DevicePath" and
// "FriendlyName". Needs COM started on the calling thread.
std::shared_ptr<vistrel::ICreateDevEnum> MakeSystemDeviceEnumerator();

} // namespace vistrel::dshow
