#include "ControlRequests.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "ScannerDescriptors.h"
#include "capture/contract/CameraControls.h"
#include "capture/sim/ExtensionUnitModel.h"

namespace vistrel::uvcemu {
namespace {

using sim::PropertyFamily;

// GET_INFO bits.
constexpr std::uint8_t kInfoGet = 0x01, kInfoSet = 0x02;

// One property packed into a control's data.
struct Field {
    PropertyFamily family;
    std::int32_t property;
    std::uint8_t offset;
    std::uint8_t size;
    bool isSigned;
    std::int32_t scale; // device units per model unit
};

struct StandardControl {
    std::uint8_t entity;
    std::uint8_t selector;
    std::uint8_t length;
    std::array<Field, 2> fields;
    std::uint8_t fieldCount;
};

constexpr Field kNone {};

constexpr std::array kControls {
    StandardControl {kCameraTerminalId, CT_ZOOM_ABSOLUTE_CONTROL, 2,
                     {Field {PropertyFamily::CameraControl, CameraControl_Zoom, 0, 2, false, 1}, kNone}, 1},
    StandardControl {kCameraTerminalId, CT_PANTILT_ABSOLUTE_CONTROL, 8,
                     {Field {PropertyFamily::CameraControl, CameraControl_Pan, 0, 4, true, kArcSecondsPerDegree},
                      Field {PropertyFamily::CameraControl, CameraControl_Tilt, 4, 4, true, kArcSecondsPerDegree}},
                     2},
    StandardControl {kCameraTerminalId, CT_ROLL_ABSOLUTE_CONTROL, 2,
                     {Field {PropertyFamily::CameraControl, CameraControl_Roll, 0, 2, true, 1}, kNone}, 1},
    StandardControl {kProcessingUnitId, PU_BRIGHTNESS_CONTROL, 2,
                     {Field {PropertyFamily::VideoProcAmp, VideoProcAmp_Brightness, 0, 2, true, 1}, kNone}, 1},
    StandardControl {kProcessingUnitId, PU_CONTRAST_CONTROL, 2,
                     {Field {PropertyFamily::VideoProcAmp, VideoProcAmp_Contrast, 0, 2, false, 1}, kNone}, 1},
    StandardControl {kProcessingUnitId, PU_SATURATION_CONTROL, 2,
                     {Field {PropertyFamily::VideoProcAmp, VideoProcAmp_Saturation, 0, 2, false, 1}, kNone}, 1},
    StandardControl {kProcessingUnitId, PU_GAMMA_CONTROL, 2,
                     {Field {PropertyFamily::VideoProcAmp, VideoProcAmp_Gamma, 0, 2, false, 1}, kNone}, 1},
};

std::int64_t ReadField(std::span<const std::uint8_t> data, const Field& f)
{
    std::uint64_t raw = 0;
    for (std::size_t i = 0; i < f.size; ++i)
        raw |= std::uint64_t(data[f.offset + i]) << (8 * i);
    if (f.isSigned && (raw >> (8 * f.size - 1)) & 1u)
        return std::int64_t(raw) - (std::int64_t(1) << (8 * f.size));
    return std::int64_t(raw);
}

void WriteField(std::vector<std::uint8_t>& data, const Field& f, std::int64_t value)
{
    for (std::size_t i = 0; i < f.size; ++i)
        data[f.offset + i] = std::uint8_t(std::uint64_t(value) >> (8 * i));
}

std::string Join(const std::vector<std::int64_t>& values)
{
    std::string text;
    for (const auto v : values)
        text += (text.empty() ? "" : ",") + std::to_string(v);
    return text;
}

std::string Hex(std::span<const std::uint8_t> bytes)
{
    std::string text;
    char b[3];
    for (const auto byte : bytes) {
        std::snprintf(b, sizeof b, "%02x", byte);
        text += b;
    }
    return text;
}

// Which value of the range a GET request asks for, in model units.
std::optional<std::int32_t> RangeValue(std::uint8_t request, const sim::PropertyRange& r, std::int32_t current)
{
    switch (request) {
    case GET_CUR: return current;
    case GET_MIN: return r.minimum;
    case GET_MAX: return r.maximum;
    case GET_RES: return r.step;
    case GET_DEF: return r.defaultValue;
    default: return std::nullopt;
    }
}

ControlAnswer Standard(sim::SimulatedDevice& device, const StandardControl& c, const SetupPacket& setup,
                       std::span<const std::uint8_t> data)
{
    const std::span fields(c.fields.data(), c.fieldCount);
    if (setup.request == GET_INFO)
        return setup.length == 1 ? ControlAnswer::Data({kInfoGet | kInfoSet}) : ControlAnswer::Stall(RequestError::InvalidRequest);
    if (setup.length != c.length)
        return ControlAnswer::Stall(RequestError::InvalidRequest);

    if (setup.request == SET_CUR) {
        // Every field is checked before any is taken.
        std::vector<std::int64_t> values;
        for (const auto& f : fields) {
            const std::int64_t v = ReadField(data, f);
            sim::PropertyRange r;
            device.GetRange(f.family, f.property, &r);
            if (v < std::int64_t(r.minimum) * f.scale || v > std::int64_t(r.maximum) * f.scale)
                return ControlAnswer::Stall(RequestError::OutOfRange);
            if ((v - std::int64_t(r.minimum) * f.scale) % (std::int64_t(r.step) * f.scale) != 0)
                return ControlAnswer::Stall(RequestError::InvalidValueWithinRange);
            values.push_back(v);
        }
        for (std::size_t i = 0; i < fields.size(); ++i)
            device.SetProperty(fields[i].family, fields[i].property, std::int32_t(values[i] / fields[i].scale),
                               PropertyFlags_Manual);
        return ControlAnswer::Data({}, Join(values));
    }

    std::vector<std::uint8_t> reply(c.length, 0);
    std::vector<std::int64_t> values;
    for (const auto& f : fields) {
        sim::PropertyRange r;
        std::int32_t current = 0, flags = 0;
        device.GetRange(f.family, f.property, &r);
        device.GetProperty(f.family, f.property, &current, &flags);
        const auto v = RangeValue(setup.request, r, current);
        if (!v)
            return ControlAnswer::Stall(RequestError::InvalidRequest);
        values.push_back(std::int64_t(*v) * f.scale);
        WriteField(reply, f, values.back());
    }
    return ControlAnswer::Data(std::move(reply), Join(values));
}

// The scanner's unit as the simulated device's topology holds it: the node that takes its property set.
std::optional<std::uint32_t> FindUnitNode(sim::SimulatedDevice& device)
{
    const auto nodes = device.TopologyNodes();
    for (std::uint32_t node = 0; node < nodes.size(); ++node) {
        if (nodes[node] != KSNODETYPE_DEV_SPECIFIC)
            continue;
        KSP_NODE probe {PROPSETID_ScannerExtensionUnit, 0, KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_SETSUPPORT, node, 0};
        std::uint32_t returned = 0;
        if (device.KsProperty(probe, nullptr, 0, &returned) == S_OK)
            return node;
    }
    return std::nullopt;
}

RequestError ErrorOf(HRESULT hr)
{
    if (hr == E_PROP_ID_UNSUPPORTED)
        return RequestError::InvalidControl;
    if (hr == HresultFromWin32(sim::ERROR_NOT_SUPPORTED))
        return RequestError::InvalidRequest;
    if (hr == HresultFromWin32(ERROR_NOT_READY))
        return RequestError::NotReady;
    return RequestError::InvalidValueWithinRange;
}

} // namespace

const char* UvcRequestName(std::uint8_t request)
{
    switch (request) {
    case SET_CUR: return "SET_CUR";
    case GET_CUR: return "GET_CUR";
    case GET_MIN: return "GET_MIN";
    case GET_MAX: return "GET_MAX";
    case GET_RES: return "GET_RES";
    case GET_LEN: return "GET_LEN";
    case GET_INFO: return "GET_INFO";
    case GET_DEF: return "GET_DEF";
    default: return "UNKNOWN";
    }
}

ControlAnswer ControlRequests::Handle(const SetupPacket& setup, std::uint8_t entity, std::uint8_t selector,
                                      std::span<const std::uint8_t> data)
{
    ControlAnswer answer = Dispatch(setup, entity, selector, data);
    // Reading the error code leaves it as it was; every other request sets it.
    if (!(entity == 0 && selector == VC_REQUEST_ERROR_CODE_CONTROL))
        lastError = answer.error;
    return answer;
}

ControlAnswer ControlRequests::Dispatch(const SetupPacket& setup, std::uint8_t entity, std::uint8_t selector,
                                        std::span<const std::uint8_t> data)
{
    if (setup.DeviceToHost() == (setup.request == SET_CUR))
        return ControlAnswer::Stall(RequestError::InvalidRequest);
    if (entity == 0)
        return ErrorCode(setup, selector);
    if (entity == kExtensionUnitId)
        return ExtensionUnit(setup, selector, data);
    const bool knownEntity = entity == kCameraTerminalId || entity == kProcessingUnitId || entity == kOutputTerminalId;
    if (!knownEntity)
        return ControlAnswer::Stall(RequestError::InvalidUnit);
    for (const auto& c : kControls)
        if (c.entity == entity && c.selector == selector)
            return Standard(device, c, setup, data);
    return ControlAnswer::Stall(RequestError::InvalidControl);
}

ControlAnswer ControlRequests::ErrorCode(const SetupPacket& setup, std::uint8_t selector)
{
    if (selector != VC_REQUEST_ERROR_CODE_CONTROL)
        return ControlAnswer::Stall(RequestError::InvalidControl);
    if (setup.length != 1)
        return ControlAnswer::Stall(RequestError::InvalidRequest);
    if (setup.request == GET_INFO)
        return ControlAnswer::Data({kInfoGet});
    if (setup.request == GET_CUR)
        return ControlAnswer::Data({std::uint8_t(lastError)}, std::to_string(int(lastError)));
    return ControlAnswer::Stall(RequestError::InvalidRequest);
}

ControlAnswer ControlRequests::ExtensionUnit(const SetupPacket& setup, std::uint8_t selector,
                                             std::span<const std::uint8_t> data)
{
    if (notReadyLeft > 0) {
        --notReadyLeft;
        return ControlAnswer::Stall(RequestError::NotReady);
    }
    const auto node = FindUnitNode(device);
    if (!node)
        return ControlAnswer::Stall(RequestError::InvalidUnit);
    const auto ask = [&](std::uint32_t kind, void* buffer, std::uint32_t length, std::uint32_t* returned) {
        KSP_NODE request {PROPSETID_ScannerExtensionUnit, selector, KSPROPERTY_TYPE_TOPOLOGY | kind, *node, 0};
        return device.KsProperty(request, buffer, length, returned);
    };
    std::uint32_t returned = 0;
    std::uint32_t access = 0;
    HRESULT hr = selector == 0 ? E_PROP_ID_UNSUPPORTED : ask(KSPROPERTY_TYPE_BASICSUPPORT, &access, sizeof access, &returned);
    if (Failed(hr))
        return ControlAnswer::Stall(ErrorOf(hr));
    // The control's length, as the unit reports it to a probe without a buffer.
    std::uint32_t controlLength = 0;
    if (access & KSPROPERTY_TYPE_GET) {
        hr = ask(KSPROPERTY_TYPE_GET, nullptr, 0, &controlLength);
        if (hr != HresultFromWin32(ERROR_MORE_DATA) && Failed(hr))
            return ControlAnswer::Stall(ErrorOf(hr));
    }

    switch (setup.request) {
    case GET_INFO:
        if (setup.length != 1)
            return ControlAnswer::Stall(RequestError::InvalidRequest);
        return ControlAnswer::Data({std::uint8_t(access & (kInfoGet | kInfoSet))});
    case GET_LEN:
        if (setup.length != 2)
            return ControlAnswer::Stall(RequestError::InvalidRequest);
        return ControlAnswer::Data({std::uint8_t(controlLength), std::uint8_t(controlLength >> 8)},
                                   std::to_string(controlLength));
    case GET_CUR: {
        if (setup.length != controlLength || controlLength == 0)
            return ControlAnswer::Stall(RequestError::InvalidRequest);
        std::vector<std::uint8_t> value(controlLength);
        hr = ask(KSPROPERTY_TYPE_GET, value.data(), controlLength, &returned);
        if (Failed(hr))
            return ControlAnswer::Stall(ErrorOf(hr));
        std::string text = Hex(value);
        return ControlAnswer::Data(std::move(value), std::move(text));
    }
    case SET_CUR: {
        if (!(access & KSPROPERTY_TYPE_SET))
            return ControlAnswer::Stall(RequestError::InvalidRequest);
        if (setup.length != controlLength || data.size() != controlLength)
            return ControlAnswer::Stall(RequestError::InvalidRequest);
        std::vector<std::uint8_t> value(data.begin(), data.end());
        hr = ask(KSPROPERTY_TYPE_SET, value.data(), std::uint32_t(value.size()), &returned);
        if (Failed(hr))
            return ControlAnswer::Stall(ErrorOf(hr));
        return ControlAnswer::Data({}, Hex(value));
    }
    default:
        // The unit has no ranges to report.
        return ControlAnswer::Stall(RequestError::InvalidRequest);
    }
}

} // namespace vistrel::uvcemu
