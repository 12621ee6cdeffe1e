#include "capture/sim/ExtensionUnitModel.h"

#include <algorithm>
#include <cstring>

namespace vistrel::sim {
namespace {

constexpr std::uint32_t kAccessRead = KSPROPERTY_TYPE_GET;
constexpr std::uint32_t kAccessWrite = KSPROPERTY_TYPE_SET;
constexpr std::uint32_t kMaxControlId = 32;

// Controls the unit has: id, access bits.
struct UnitControl {
    std::uint32_t id;
    std::uint32_t access;
};
constexpr std::array<UnitControl, 3> kControls {{
    {ExtensionUnitModel::kVersionControl, kAccessRead},
    {ExtensionUnitModel::kCommandControl, kAccessRead | kAccessWrite},
    {ExtensionUnitModel::kIdentityControl, kAccessRead},
}};

// A control is present when its bit fits the advertised bitmap.
const UnitControl* FindControl(std::uint32_t id, const ScannerFaults& faults)
{
    if (id == 0 || id > kMaxControlId || id > 8u * faults.bitmapSize)
        return nullptr;
    for (const auto& c : kControls)
        if (c.id == id)
            return &c;
    return nullptr;
}

std::uint32_t ControlLength(std::uint32_t id, const ScannerFaults& faults)
{
    return id == ExtensionUnitModel::kVersionControl ? 4u : faults.controlLength;
}

// Copies a reply, or reports how many bytes it needs.
HRESULT Reply(const std::vector<std::uint8_t>& reply, void* data, std::uint32_t length, std::uint32_t* bytesReturned)
{
    const auto size = static_cast<std::uint32_t>(reply.size());
    if (bytesReturned)
        *bytesReturned = size;
    if (size == 0)
        return S_OK;
    if (!data || length < size)
        return HresultFromWin32(ERROR_MORE_DATA);
    std::memcpy(data, reply.data(), size);
    return S_OK;
}

} // namespace

std::vector<std::uint8_t> ExtensionUnitModel::Descriptor(const ScannerFaults& faults)
{
    std::vector<std::uint8_t> d(16);
    std::memcpy(d.data(), &PROPSETID_ScannerExtensionUnit, 16);
    std::vector<std::uint8_t> bitmap(faults.bitmapSize, 0);
    std::uint8_t count = 0;
    for (const auto& c : kControls) {
        const auto bit = c.id - 1;
        if (bit / 8 < bitmap.size()) {
            bitmap[bit / 8] |= std::uint8_t(1u << (bit % 8));
            ++count;
        }
    }
    d.push_back(count);          // number of controls
    d.push_back(1);              // number of input pins
    d.push_back(kSourceUnitId);  // the input pin's source
    d.push_back(faults.bitmapSize);
    d.insert(d.end(), bitmap.begin(), bitmap.end());
    d.push_back(0);              // no string descriptor
    return d;
}

void ExtensionUnitModel::Reset()
{
    lastCommand = {};
}

HRESULT ExtensionUnitModel::Answer(const KSP_NODE& request, void* data, std::uint32_t length,
                                   std::uint32_t* bytesReturned, const ScannerFaults& faults)
{
    if (bytesReturned)
        *bytesReturned = 0;
    if (!(request.flags & KSPROPERTY_TYPE_TOPOLOGY))
        return HresultFromWin32(ERROR_INVALID_PARAMETER);
    if (length > 0 && !data)
        return E_POINTER;
    const std::uint32_t kind = request.flags & ~KSPROPERTY_TYPE_TOPOLOGY;

    if (kind == KSPROPERTY_TYPE_SETSUPPORT)
        return faults.unitRejectsSet ? E_PROP_SET_UNSUPPORTED : S_OK;

    if (request.id == 0) {
        if (kind != KSPROPERTY_TYPE_GET)
            return HresultFromWin32(ERROR_NOT_SUPPORTED);
        return Reply(Descriptor(faults), data, length, bytesReturned);
    }

    const auto* control = FindControl(request.id, faults);
    if (!control)
        return E_PROP_ID_UNSUPPORTED;

    switch (kind) {
    case KSPROPERTY_TYPE_BASICSUPPORT: {
        std::vector<std::uint8_t> reply(sizeof control->access);
        std::memcpy(reply.data(), &control->access, sizeof control->access);
        return Reply(reply, data, length, bytesReturned);
    }
    case KSPROPERTY_TYPE_GET:
        if (!(control->access & kAccessRead))
            return HresultFromWin32(ERROR_NOT_SUPPORTED);
        return Get(request.id, data, length, bytesReturned, faults);
    case KSPROPERTY_TYPE_SET:
        if (!(control->access & kAccessWrite))
            return HresultFromWin32(ERROR_NOT_SUPPORTED);
        return Set(request.id, data, length, faults);
    default:
        return HresultFromWin32(ERROR_NOT_SUPPORTED);
    }
}

HRESULT ExtensionUnitModel::Get(std::uint32_t id, void* data, std::uint32_t length, std::uint32_t* bytesReturned,
                                const ScannerFaults& faults) const
{
    if (length == 0 && faults.unitNotReady)
        return HresultFromWin32(ERROR_NOT_READY);
    std::vector<std::uint8_t> value(ControlLength(id, faults), 0);
    std::vector<std::uint8_t> content;
    if (id == kVersionControl) {
        content.resize(4);
        std::memcpy(content.data(), &kFirmwareVersion, 4);
    } else if (id == kCommandControl) {
        content.assign(lastCommand.begin(), lastCommand.end());
    } else if (id == kIdentityControl && lastCommand == kIdentifyCommand) {
        content.assign(kIdentity.begin(), kIdentity.end());
        content.push_back(faults.identityByte8);
    }
    std::copy_n(content.begin(), std::min(content.size(), value.size()), value.begin());
    return Reply(value, data, length, bytesReturned);
}

HRESULT ExtensionUnitModel::Set(std::uint32_t id, const void* data, std::uint32_t length, const ScannerFaults& faults)
{
    if (faults.failCommandWrite)
        return HresultFromWin32(ERROR_GEN_FAILURE);
    if (length != ControlLength(id, faults) || length == 0)
        return HresultFromWin32(ERROR_INVALID_PARAMETER);
    lastCommand = {};
    std::memcpy(lastCommand.data(), data, std::min<std::size_t>(length, lastCommand.size()));
    return S_OK;
}

} // namespace vistrel::sim
