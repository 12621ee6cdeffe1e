#include "capture/v4l2/ExtensionUnitTopology.h"

#include <linux/usb/video.h>

#include <cerrno>
#include <cstring>
#include <algorithm>
#include <thread>

#include "capture/v4l2/ErrnoResult.h"

namespace vistrel::v4l2 {

namespace {

constexpr std::uint32_t kAccessWordSize = 4;
constexpr std::uint8_t kInfoAccessBits = 0x03; // UVC_GET_INFO: bit 0 get, bit 1 set
constexpr std::uint32_t kLargestSelector = 0xFF;

HRESULT MoreData(std::uint32_t needed, std::uint32_t& returned)
{
    returned = needed;
    return HresultFromWin32(ERROR_MORE_DATA);
}

} // namespace

ExtensionUnitTopology::ExtensionUnitTopology(std::vector<UvcExtensionUnit> units, std::shared_ptr<IV4l2Io> io,
                                             Wait wait)
    : units(std::move(units)), io(std::move(io)), wait(std::move(wait))
{
    if (!this->wait)
        this->wait = [](std::chrono::milliseconds interval) { std::this_thread::sleep_for(interval); };
}

int ExtensionUnitTopology::Query(const UvcExtensionUnit& unit, std::uint8_t selector, std::uint8_t query,
                                 std::uint8_t* data, std::uint16_t size)
{
    // The unit declares the control, so ENOENT means that the driver could not learn it: the device
    // was not ready yet, or it does not have the control after all.
    int error = io->UvcQuery(unit.unitId, selector, query, data, size);
    if (error == ENOENT && UnitAnswers(unit, selector))
        return ENOENT;   // the device is ready: the control is missing, and asking again will not help
    for (int attempt = 1; error == ENOENT && attempt < kFirstUseAttempts; ++attempt) {
        wait(kFirstUseInterval);
        error = io->UvcQuery(unit.unitId, selector, query, data, size);
    }
    if (error == 0)
        MarkAnswered(unit, selector);
    return error == ENOENT ? EBUSY : error;
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
        if (io->UvcQuery(unit.unitId, other, UVC_GET_INFO, &info, 1) == 0) {
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

int ExtensionUnitTopology::ControlLength(const UvcExtensionUnit& unit, std::uint8_t selector, std::uint16_t& length)
{
    std::uint8_t reply[2] {};
    const int error = Query(unit, selector, UVC_GET_LEN, reply, sizeof reply);
    length = static_cast<std::uint16_t>(reply[0] | reply[1] << 8);
    return error;
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
        if (const int error = Query(unit, selector, UVC_GET_INFO, &info, 1))
            return ControlResultFromErrno(error);
        const std::uint32_t access = info & kInfoAccessBits;
        std::memcpy(bytes, &access, sizeof access);
        returned = kAccessWordSize;
        return S_OK;
    }
    case KSPROPERTY_TYPE_GET:
    case KSPROPERTY_TYPE_SET: {
        std::uint16_t size = 0;
        if (const int error = ControlLength(unit, selector, size))
            return ControlResultFromErrno(error);
        if (kind == KSPROPERTY_TYPE_GET) {
            if (size == 0)
                return S_OK;
            if (length < size)
                return MoreData(size, returned);
            if (const int error = Query(unit, selector, UVC_GET_CUR, bytes, size))
                return ControlResultFromErrno(error);
            returned = size;
            return S_OK;
        }
        if (length != size) // a value of another width would be cut or padded silently
            return E_INVALIDARG;
        if (const int error = Query(unit, selector, UVC_SET_CUR, bytes, size))
            return ControlResultFromErrno(error);
        return S_OK;
    }
    default:
        return HresultFromWin32(ERROR_NOT_SUPPORTED);
    }
}

} // namespace vistrel::v4l2
