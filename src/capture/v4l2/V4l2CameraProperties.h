#pragma once
// The two camera-property families of a device, over its V4L2 controls.
#include <memory>

#include "capture/contract/CameraControls.h"
#include "capture/v4l2/ControlTable.h"
#include "capture/v4l2/V4l2Io.h"

namespace vistrel::v4l2 {

class PropertyAccess
{
public:
    PropertyAccess(uvc::PropertyFamily family, std::shared_ptr<IV4l2Io> io);

    // Ranges and values in the contract's units; Set rounds to the device's step.
    HRESULT GetRange(std::int32_t property, std::int32_t* minimum, std::int32_t* maximum, std::int32_t* step,
                     std::int32_t* defaultValue, std::int32_t* capsFlags);
    HRESULT Set(std::int32_t property, std::int32_t value, std::int32_t flags);
    HRESULT Get(std::int32_t property, std::int32_t* value, std::int32_t* flags);

private:
    // The property's control and its range on this device; a failure code when it has none.
    HRESULT Find(std::int32_t property, const ControlBinding*& binding, uvc::ControlRange* range);
    bool HasAutoMode(const ControlBinding& binding);

    uvc::PropertyFamily family;
    std::shared_ptr<IV4l2Io> io;
};

std::shared_ptr<IAMVideoProcAmp> MakeVideoProcAmp(std::shared_ptr<IV4l2Io> io);
std::shared_ptr<IAMCameraControl> MakeCameraControl(std::shared_ptr<IV4l2Io> io);

} // namespace vistrel::v4l2
