#pragma once
// The camera properties as class requests: which unit and selector carries each, where its field lies
// in the control's data, and how its units convert; and the request error code a stall leaves behind.
#include <linux/usb/video.h>

#include <cstdint>
#include <optional>
#include <span>

#include "capture/contract/CameraControls.h"
#include "capture/contract/Result.h"
#include "capture/uvc/ClassRequest.h"
#include "capture/uvc/UvcDescriptors.h"
#include "capture/uvc/WireUnits.h"

namespace vistrel::uvc {

enum class UvcEntity { CameraTerminal, ProcessingUnit };

// Processing-unit selectors.
constexpr std::uint8_t PU_BRIGHTNESS_CONTROL = UVC_PU_BRIGHTNESS_CONTROL;
constexpr std::uint8_t PU_CONTRAST_CONTROL = UVC_PU_CONTRAST_CONTROL;
constexpr std::uint8_t PU_SATURATION_CONTROL = UVC_PU_SATURATION_CONTROL;
constexpr std::uint8_t PU_GAMMA_CONTROL = UVC_PU_GAMMA_CONTROL;
// Camera-terminal selectors.
constexpr std::uint8_t CT_ZOOM_ABSOLUTE_CONTROL = UVC_CT_ZOOM_ABSOLUTE_CONTROL;
constexpr std::uint8_t CT_PANTILT_ABSOLUTE_CONTROL = UVC_CT_PANTILT_ABSOLUTE_CONTROL;
constexpr std::uint8_t CT_ROLL_ABSOLUTE_CONTROL = UVC_CT_ROLL_ABSOLUTE_CONTROL;

// GET_INFO bits.
constexpr std::uint8_t kInfoGet = 0x01;
constexpr std::uint8_t kInfoSet = 0x02;

struct UvcControl
{
    PropertyFamily family;
    std::int32_t property;
    UvcEntity entity;
    std::uint8_t selector;
    unsigned bit;              // the entity's bmControls bit that declares the control
    std::uint16_t length;      // bytes of the control's data
    std::uint8_t fieldOffset;  // the property's field inside the data (pan and tilt share one control)
    std::uint8_t fieldSize;
    bool isSigned;
    std::int32_t wirePerUnit;  // device units per contract unit
};

// Null when no control carries the property.
const UvcControl* FindUvcControl(PropertyFamily family, std::int32_t property);

// The entity's id when the function has the entity and its descriptor declares the control.
std::optional<std::uint8_t> EntityOf(const UvcControl& control, const UvcFunction& function);

// A request to the control: GET_INFO reads 1 byte, GET_LEN 2, the others the control's length.
ClassRequest ControlRequest(const UvcControl& control, std::uint8_t request, std::uint8_t entity,
                            std::uint8_t controlInterface);

// The property's field of the control's data (device units); none when the data is too short.
std::optional<std::int32_t> ReadField(const UvcControl& control, std::span<const std::uint8_t> data);
// Writes the field into data (device units) and leaves the other fields as they are: pan is sent with
// the current tilt. False when the data is too short.
bool WriteField(const UvcControl& control, std::int32_t value, std::span<std::uint8_t> data);

// The request error code control (selector 0x02 of the control interface) and its answer.
enum class RequestError : std::uint8_t {
    NoError = 0,
    NotReady = 1,
    WrongState = 2,
    Power = 3,
    OutOfRange = 4,
    InvalidUnit = 5,
    InvalidControl = 6,
    InvalidRequest = 7,
    InvalidValueWithinRange = 8,
    Unknown = 0xFF,
};

ClassRequest RequestErrorCodeRequest(std::uint8_t controlInterface);
RequestError DecodeRequestError(std::span<const std::uint8_t> answer);
// The result code a stalled request reports: not ready as ERROR_NOT_READY (asked again by the engine),
// a control or unit the device lacks as E_PROP_ID_UNSUPPORTED, a refused value as E_INVALIDARG.
HRESULT ResultFromRequestError(RequestError error);
const char* RequestErrorName(RequestError error);

} // namespace vistrel::uvc
