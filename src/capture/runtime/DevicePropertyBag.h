#pragma once
// The property bag every backend's device entry offers: its device path and its friendly name.
#include <string>

#include "capture/contract/Devices.h"

namespace vistrel {

class DevicePropertyBag final : public IPropertyBag {
public:
    DevicePropertyBag(std::string devicePath, std::string friendlyName)
        : devicePath(std::move(devicePath)), friendlyName(std::move(friendlyName)) {}

    HRESULT Read(const std::string& name, std::string* value) override
    {
        if (!value)
            return E_POINTER;
        if (name == "DevicePath")
            *value = devicePath;
        else if (name == "FriendlyName")
            *value = friendlyName;
        else
            return E_INVALIDARG;
        return S_OK;
    }

private:
    const std::string devicePath;
    const std::string friendlyName;
};

} // namespace vistrel
