#pragma once
// Class requests to the video control interface: the camera terminal's and processing unit's controls in
// the device's own units, the extension unit (through the simulated scanner's unit model) and the
// request error code.
#include <cstdint>
#include <span>

#include "UsbRequest.h"
#include "capture/sim/SimulatedDevice.h"

namespace vistrel::uvcemu {

// Selectors of the controls this device has.
enum ControlSelector : std::uint8_t {
    VC_REQUEST_ERROR_CODE_CONTROL = 0x02,
    CT_ZOOM_ABSOLUTE_CONTROL = 0x0B,
    CT_PANTILT_ABSOLUTE_CONTROL = 0x0D,
    CT_ROLL_ABSOLUTE_CONTROL = 0x0F,
    PU_BRIGHTNESS_CONTROL = 0x02,
    PU_CONTRAST_CONTROL = 0x03,
    PU_SATURATION_CONTROL = 0x07,
    PU_GAMMA_CONTROL = 0x09,
};

// Pan and tilt go over the wire in arc-seconds; the model keeps degrees.
constexpr std::int32_t kArcSecondsPerDegree = 3600;

class ControlRequests {
public:
    explicit ControlRequests(sim::SimulatedDevice& device) : device(device) {}

    // The first `count` requests to the extension unit answer "not ready", as a unit still starting up.
    void SetNotReadyAnswers(int count) { notReadyLeft = count; }
    // A device coming back starts over: error code cleared.
    void Reset() { lastError = RequestError::None; }

    // entity 0 addresses the interface itself; data is the OUT data of a SET request.
    ControlAnswer Handle(const SetupPacket& setup, std::uint8_t entity, std::uint8_t selector,
                         std::span<const std::uint8_t> data);

private:
    ControlAnswer Dispatch(const SetupPacket& setup, std::uint8_t entity, std::uint8_t selector,
                           std::span<const std::uint8_t> data);
    ControlAnswer ExtensionUnit(const SetupPacket& setup, std::uint8_t selector, std::span<const std::uint8_t> data);
    ControlAnswer ErrorCode(const SetupPacket& setup, std::uint8_t selector);

    sim::SimulatedDevice& device;
    int notReadyLeft = 0;
    RequestError lastError = RequestError::None;
};

} // namespace vistrel::uvcemu
