#pragma once
// The two camera-property families of a device, over its V4L2 controls and camera-terminal requests.
#include <memory>
#include <optional>

#include "capture/contract/CameraControls.h"
#include "capture/v4l2/ControlTable.h"
#include "capture/v4l2/UvcDescriptors.h"
#include "capture/v4l2/V4l2Io.h"

namespace vistrel::v4l2 {

class PropertyAccess
{
public:
    PropertyAccess(PropertyFamily family, std::shared_ptr<IV4l2Io> io, std::optional<UvcCameraTerminal> terminal);

    HRESULT GetRange(std::int32_t property, std::int32_t* minimum, std::int32_t* maximum, std::int32_t* step,
                     std::int32_t* defaultValue, std::int32_t* capsFlags);
    HRESULT Set(std::int32_t property, std::int32_t value, std::int32_t flags);
    HRESULT Get(std::int32_t property, std::int32_t* value, std::int32_t* flags);

private:
    enum class Route { V4l2, Terminal };
    // Where the property lives on this device; a failure code when nowhere.
    HRESULT RouteFor(std::int32_t property, const ControlBinding*& binding, Route& route, ControlRange* range);
    bool HasAutoMode(const ControlBinding& binding);
    int TerminalRequest(const ControlBinding& binding, std::uint8_t query, std::int32_t* value);

    PropertyFamily family;
    std::shared_ptr<IV4l2Io> io;
    std::optional<UvcCameraTerminal> terminal;
};

std::shared_ptr<IAMVideoProcAmp> MakeVideoProcAmp(std::shared_ptr<IV4l2Io> io,
                                                  std::optional<UvcCameraTerminal> terminal);
std::shared_ptr<IAMCameraControl> MakeCameraControl(std::shared_ptr<IV4l2Io> io,
                                                    std::optional<UvcCameraTerminal> terminal);

} // namespace vistrel::v4l2
