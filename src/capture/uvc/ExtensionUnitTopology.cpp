#include "capture/uvc/ExtensionUnitTopology.h"

#include <linux/usb/video.h>

#include <cstring>
#include <algorithm>
#include <thread>


namespace vistrel::uvc {

namespace {

constexpr std::uint32_t kAccessWordSize = 4;
constexpr std::uint8_t kInfoAccessBits = 0x03; // UVC_GET_INFO: bit 0 get, bit 1 set
constexpr std::uint32_t kLargestSelector = 0xFF;

HRESULT MoreData(std::uint32_t needed, std::uint32_t& returned)
{
    returned = needed;
    return HresultFromWin32(ERROR_MORE_DATA);
}

// What a unit query reports for each reason a device gives for a stall.
struct StallRow
{
    RequestError why;
    std::uint32_t error;
};

constexpr StallRow kStallResults[] = {
    {RequestError::NotReady, ERROR_NOT_READY},
    {RequestError::WrongState, ERROR_ACCESS_DENIED},
    {RequestError::OutOfRange, ERROR_INVALID_PARAMETER},
    {RequestError::InvalidUnit, ERROR_INVALID_PARAMETER},
    {RequestError::InvalidControl, ERROR_INVALID_PARAMETER},
    {RequestError::InvalidRequest, ERROR_INVALID_PARAMETER},
    {RequestError::InvalidValueWithinRange, ERROR_INVALID_PARAMETER},
};

HRESULT StallResult(RequestError why)
{
    if (why == RequestError::Power)
        return E_FAIL;
    const auto row = std::ranges::find(kStallResults, why, &StallRow::why);
    return HresultFromWin32(row == std::end(kStallResults) ? ERROR_GEN_FAILURE : row->error);
}

HRESULT UnitQueryResult(const UnitResult& result)
{
    switch (result.outcome) {
    case UnitOutcome::Answered:
        return S_OK;
    case UnitOutcome::Stalled:
        return StallResult(result.why);
    case UnitOutcome::NotLearned:
        return HresultFromWin32(ERROR_NOT_FOUND);
    case UnitOutcome::Gone:
        return HresultFromWin32(ERROR_DEVICE_NOT_CONNECTED);
    case UnitOutcome::Failed:
        break;
    }
    return result.failure;
}

// The device could not yet say what the control is.
bool NotYetLearned(const UnitResult& result, std::uint8_t query)
{
    const bool learning = query == UVC_GET_INFO || query == UVC_GET_LEN;
    return result.outcome == UnitOutcome::NotLearned ||
           (learning && result.outcome == UnitOutcome::Stalled && result.why == RequestError::NotReady);
}

} // namespace

ExtensionUnitTopology::ExtensionUnitTopology(std::vector<UvcExtensionUnit> units, std::shared_ptr<IUnitIo> io,
                                             Wait wait)
    : units(std::move(units)), io(std::move(io)), wait(std::move(wait))
{
    if (!this->wait)
        this->wait = [](std::chrono::milliseconds interval) { std::this_thread::sleep_for(interval); };
}

HRESULT ExtensionUnitTopology::Query(const UvcExtensionUnit& unit, std::uint8_t selector, std::uint8_t query,
                                     std::uint8_t* data, std::uint16_t size)
{
    // The unit declares the control, so a control not learned means that the device was not ready yet,
    // or that it does not have the control after all.
    UnitResult result = io->Query(unit.unitId, selector, query, data, size);
    if (NotYetLearned(result, query) && UnitAnswers(unit, selector))
        return HresultFromWin32(ERROR_NOT_FOUND);   // the device is ready: the control is missing
    for (int attempt = 1; NotYetLearned(result, query) && attempt < kFirstUseAttempts; ++attempt) {
        wait(kFirstUseInterval);
        result = io->Query(unit.unitId, selector, query, data, size);
    }
    if (result.Ok())
        MarkAnswered(unit, selector);
    return NotYetLearned(result, query) ? HresultFromWin32(ERROR_NOT_READY) : UnitQueryResult(result);
}

bool ExtensionUnitTopology::UnitAnswers(const UvcExtensionUnit& unit, std::uint8_t selector)
{
    // Asked now, not remembered: the controls that answered before first, as they are the likeliest to.
    std::vector<std::uint8_t> order;
    {
        std::lock_guard lock(answeredMutex);
        for (const auto& [unitId, answered] : answeredControls)
            if (unitId == unit.unitId && answered != selector)
                order.push_back(answered);
    }
    for (std::uint32_t other = 1; other <= kLargestSelector; ++other) {
        const auto candidate = static_cast<std::uint8_t>(other);
        if (candidate != selector && unit.controls.Has(other - 1) && std::ranges::find(order, candidate) == order.end())
            order.push_back(candidate);
    }
    for (const std::uint8_t other : order) {
        std::uint8_t info = 0;
        if (io->Query(unit.unitId, other, UVC_GET_INFO, &info, 1).Ok()) {
            MarkAnswered(unit, other);
            return true;
        }
    }
    return false;
}

void ExtensionUnitTopology::MarkAnswered(const UvcExtensionUnit& unit, std::uint8_t selector)
{
    std::lock_guard lock(answeredMutex);
    answeredControls.insert({unit.unitId, selector});
}

HRESULT ExtensionUnitTopology::get_NumNodes(std::uint32_t* count)
{
    if (!count)
        return E_POINTER;
    *count = static_cast<std::uint32_t>(units.size());
    return S_OK;
}

HRESULT ExtensionUnitTopology::get_NodeType(std::uint32_t node, Guid* type)
{
    if (!type)
        return E_POINTER;
    if (node >= units.size())
        return E_INVALIDARG;
    *type = KSNODETYPE_DEV_SPECIFIC;
    return S_OK;
}

HRESULT ExtensionUnitTopology::KsProperty(const KSP_NODE& property, void* data, std::uint32_t length,
                                          std::uint32_t* bytesReturned)
{
    std::uint32_t returned = 0;
    HRESULT hr;
    if (length != 0 && !data) {
        hr = E_POINTER;
    } else if (property.nodeId >= units.size()) {
        hr = E_INVALIDARG;
    } else if (units[property.nodeId].guid != property.set) {
        hr = HresultFromWin32(ERROR_SET_NOT_FOUND);
    } else {
        const UvcExtensionUnit& unit = units[property.nodeId];
        const std::uint32_t kind = property.flags & ~KSPROPERTY_TYPE_TOPOLOGY;
        if (kind == KSPROPERTY_TYPE_SETSUPPORT)
            hr = S_OK;
        else if (property.id == 0)
            hr = UnitInformation(unit, kind, data, length, returned);
        else if (property.id > kLargestSelector || !unit.controls.Has(property.id - 1))
            hr = E_PROP_ID_UNSUPPORTED;
        else
            hr = Control(unit, static_cast<std::uint8_t>(property.id), kind, data, length, returned);
    }
    if (bytesReturned)
        *bytesReturned = returned;
    return hr;
}

HRESULT ExtensionUnitTopology::UnitInformation(const UvcExtensionUnit& unit, std::uint32_t kind, void* data,
                                               std::uint32_t length, std::uint32_t& returned)
{
    if (kind != KSPROPERTY_TYPE_GET)
        return E_PROP_ID_UNSUPPORTED;
    const auto size = static_cast<std::uint32_t>(unit.body.size());
    if (length < size)
        return MoreData(size, returned);
    std::memcpy(data, unit.body.data(), size);
    returned = size;
    return S_OK;
}

HRESULT ExtensionUnitTopology::ControlLength(const UvcExtensionUnit& unit, std::uint8_t selector,
                                             std::uint16_t& length)
{
    std::uint8_t reply[2] {};
    const HRESULT hr = Query(unit, selector, UVC_GET_LEN, reply, sizeof reply);
    length = static_cast<std::uint16_t>(reply[0] | reply[1] << 8);
    return hr;
}

HRESULT ExtensionUnitTopology::Control(const UvcExtensionUnit& unit, std::uint8_t selector, std::uint32_t kind,
                                       void* data, std::uint32_t length, std::uint32_t& returned)
{
    auto* bytes = static_cast<std::uint8_t*>(data);
    switch (kind) {
    case KSPROPERTY_TYPE_BASICSUPPORT: {
        if (length < kAccessWordSize)
            return MoreData(kAccessWordSize, returned);
        std::uint8_t info = 0;
        if (const HRESULT hr = Query(unit, selector, UVC_GET_INFO, &info, 1); Failed(hr))
            return hr;
        const std::uint32_t access = info & kInfoAccessBits;
        std::memcpy(bytes, &access, sizeof access);
        returned = kAccessWordSize;
        return S_OK;
    }
    case KSPROPERTY_TYPE_GET:
    case KSPROPERTY_TYPE_SET: {
        std::uint16_t size = 0;
        if (const HRESULT hr = ControlLength(unit, selector, size); Failed(hr))
            return hr;
        if (kind == KSPROPERTY_TYPE_GET) {
            if (size == 0)
                return S_OK;
            if (length < size)
                return MoreData(size, returned);
            if (const HRESULT hr = Query(unit, selector, UVC_GET_CUR, bytes, size); Failed(hr))
                return hr;
            returned = size;
            return S_OK;
        }
        if (length != size) // a value of another width would be cut or padded silently
            return E_INVALIDARG;
        if (const HRESULT hr = Query(unit, selector, UVC_SET_CUR, bytes, size); Failed(hr))
            return hr;
        return S_OK;
    }
    default:
        return HresultFromWin32(ERROR_NOT_SUPPORTED);
    }
}

} // namespace vistrel::uvc
