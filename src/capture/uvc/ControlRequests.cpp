#include "capture/uvc/ControlRequests.h"

#include <algorithm>
#include <iterator>

#include "capture/uvc/LittleEndian.h"

namespace vistrel::uvc {

namespace {


constexpr std::uint16_t kInfoLength = 1;
constexpr std::uint16_t kLenLength = 2;
constexpr std::uint16_t kRequestErrorLength = 1;

// Processing-unit and camera-terminal bmControls bits.
constexpr unsigned kPuBrightnessBit = 0, kPuContrastBit = 1, kPuSaturationBit = 3, kPuGammaBit = 5;
constexpr unsigned kCtZoomBit = 9, kCtPanTiltBit = 11, kCtRollBit = kTerminalRollAbsoluteBit;

using enum PropertyFamily;
using enum UvcEntity;
constexpr std::int32_t kArcSeconds = kArcSecondsPerDegree;

// brightness and roll are signed; pan and tilt are two signed 32-bit fields of one 8-byte control.
constexpr UvcControl kControls[] = {
    {VideoProcAmp, VideoProcAmp_Brightness, ProcessingUnit, PU_BRIGHTNESS_CONTROL, kPuBrightnessBit, 2, 0, 2, true, 1},
    {VideoProcAmp, VideoProcAmp_Contrast, ProcessingUnit, PU_CONTRAST_CONTROL, kPuContrastBit, 2, 0, 2, false, 1},
    {VideoProcAmp, VideoProcAmp_Saturation, ProcessingUnit, PU_SATURATION_CONTROL, kPuSaturationBit, 2, 0, 2, false, 1},
    {VideoProcAmp, VideoProcAmp_Gamma, ProcessingUnit, PU_GAMMA_CONTROL, kPuGammaBit, 2, 0, 2, false, 1},
    {CameraControl, CameraControl_Pan, CameraTerminal, CT_PANTILT_ABSOLUTE_CONTROL, kCtPanTiltBit, 8, 0, 4, true, kArcSeconds},
    {CameraControl, CameraControl_Tilt, CameraTerminal, CT_PANTILT_ABSOLUTE_CONTROL, kCtPanTiltBit, 8, 4, 4, true, kArcSeconds},
    {CameraControl, CameraControl_Roll, CameraTerminal, CT_ROLL_ABSOLUTE_CONTROL, kCtRollBit, 2, 0, 2, true, 1},
    {CameraControl, CameraControl_Zoom, CameraTerminal, CT_ZOOM_ABSOLUTE_CONTROL, kCtZoomBit, 2, 0, 2, false, 1},
};

struct ErrorMeaning
{
    RequestError error;
    HRESULT result;
    const char* name;
};

constexpr ErrorMeaning kErrors[] = {
    {RequestError::NoError, E_FAIL, "no error"},
    {RequestError::NotReady, HresultFromWin32(ERROR_NOT_READY), "not ready"},
    {RequestError::WrongState, E_FAIL, "wrong state"},
    {RequestError::Power, E_FAIL, "power"},
    {RequestError::OutOfRange, E_INVALIDARG, "out of range"},
    {RequestError::InvalidUnit, E_PROP_ID_UNSUPPORTED, "invalid unit"},
    {RequestError::InvalidControl, E_PROP_ID_UNSUPPORTED, "invalid control"},
    {RequestError::InvalidRequest, E_PROP_ID_UNSUPPORTED, "invalid request"},
    {RequestError::InvalidValueWithinRange, E_INVALIDARG, "invalid value within range"},
    {RequestError::Unknown, E_FAIL, "unknown"},
};

const ErrorMeaning& MeaningOf(RequestError error)
{
    const auto it = std::ranges::find(kErrors, error, &ErrorMeaning::error);
    return it == std::end(kErrors) ? kErrors[std::size(kErrors) - 1] : *it;
}

bool FieldFits(const UvcControl& c, std::size_t size) { return c.fieldOffset + c.fieldSize <= size; }

} // namespace

const UvcControl* FindUvcControl(PropertyFamily family, std::int32_t property)
{
    const auto it = std::ranges::find_if(
        kControls, [&](const UvcControl& c) { return c.family == family && c.property == property; });
    return it == std::end(kControls) ? nullptr : &*it;
}

std::optional<std::uint8_t> EntityOf(const UvcControl& control, const UvcFunction& function)
{
    if (control.entity == CameraTerminal) {
        const auto& terminal = function.cameraTerminal;
        if (terminal && terminal->controls.Has(control.bit))
            return terminal->terminalId;
    } else {
        const auto& unit = function.processingUnit;
        if (unit && unit->controls.Has(control.bit))
            return unit->unitId;
    }
    return std::nullopt;
}

ClassRequest ControlRequest(const UvcControl& control, std::uint8_t request, std::uint8_t entity,
                            std::uint8_t controlInterface)
{
    const std::uint16_t length = request == GET_INFO ? kInfoLength : request == GET_LEN ? kLenLength : control.length;
    return MakeClassRequest(request, control.selector, entity, controlInterface, length);
}

std::optional<std::int32_t> ReadField(const UvcControl& control, std::span<const std::uint8_t> data)
{
    if (!FieldFits(control, data.size()))
        return std::nullopt;
    const std::uint64_t raw = ReadLe(data, control.fieldOffset, control.fieldSize);
    const unsigned bits = 8 * control.fieldSize;
    if (control.isSigned && bits < 64 && raw >> (bits - 1) & 1)
        return static_cast<std::int32_t>(static_cast<std::int64_t>(raw) - (std::int64_t {1} << bits));
    return static_cast<std::int32_t>(raw);
}

bool WriteField(const UvcControl& control, std::int32_t value, std::span<std::uint8_t> data)
{
    if (!FieldFits(control, data.size()))
        return false;
    const auto raw = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < control.fieldSize; ++i)
        data[control.fieldOffset + i] = static_cast<std::uint8_t>(raw >> (8 * i));
    return true;
}

ClassRequest RequestErrorCodeRequest(std::uint8_t controlInterface)
{
    return MakeClassRequest(GET_CUR, VC_REQUEST_ERROR_CODE_CONTROL, 0, controlInterface, kRequestErrorLength);
}

RequestError DecodeRequestError(std::span<const std::uint8_t> answer)
{
    if (answer.empty())
        return RequestError::Unknown;
    const auto error = static_cast<RequestError>(answer[0]);
    return MeaningOf(error).error == error ? error : RequestError::Unknown;
}

HRESULT ResultFromRequestError(RequestError error) { return MeaningOf(error).result; }

const char* RequestErrorName(RequestError error) { return MeaningOf(error).name; }

} // namespace vistrel::uvc
