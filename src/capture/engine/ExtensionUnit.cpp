#include "capture/engine/ExtensionUnit.h"

#include "capture/contract/Diagnostics.h"

#include <cstring>
#include <string>
#include <thread>

namespace vistrel {

namespace {

constexpr std::uint32_t kInformationRequest = 0;
constexpr std::uint32_t kFlagsSetSupport = KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_SETSUPPORT;
constexpr std::uint32_t kFlagsBasicSupport = KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_BASICSUPPORT;
constexpr std::uint32_t kFlagsGet = KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_GET;
constexpr std::uint32_t kFlagsSet = KSPROPERTY_TYPE_TOPOLOGY | KSPROPERTY_TYPE_SET;

// The information reply follows the UVC extension unit descriptor from its extension code onward.
constexpr std::size_t kDescriptorSize = 64;
constexpr std::size_t kControlCountOffset = 16;
constexpr std::size_t kInputPinCountOffset = 17;
constexpr std::size_t kBitmapSizeOffset = 18;   // plus the number of input pins
constexpr std::uint8_t kMaxBitmapSize = 4;

constexpr std::uint32_t kAccessRead = 0x1;
constexpr std::uint32_t kAccessWrite = 0x2;

bool ValidControlLength(std::uint32_t length)
{
    return length == 1 || length == 2 || length == 4 || length == 8;
}

void SleepWait(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

} // namespace

ExtensionUnit::ExtensionUnit(Wait wait) : wait(wait ? std::move(wait) : Wait(SleepWait)) {}

ExtensionUnit::~ExtensionUnit() = default;

void ExtensionUnit::Close()
{
    control.reset();
}

std::uint32_t ExtensionUnit::Access(std::uint32_t id) const
{
    return id >= 1 && id <= kMaxControls ? access[id - 1] : 0;
}

std::uint32_t ExtensionUnit::Length(std::uint32_t id) const
{
    return id >= 1 && id <= kMaxControls ? length[id - 1] : 0;
}

HRESULT ExtensionUnit::Request(std::uint32_t id, std::uint32_t flags, void* data, std::uint32_t size,
                               std::uint32_t* bytesReturned)
{
    KSP_NODE property;
    property.set = PROPSETID_ScannerExtensionUnit;
    property.id = id;
    property.flags = flags;
    property.nodeId = static_cast<std::uint32_t>(nodeId);
    std::uint32_t returned = 0;
    const HRESULT hr = control->KsProperty(property, data, size, &returned);
    if (bytesReturned)
        *bytesReturned = returned;
    return hr;
}

HRESULT ExtensionUnit::OpenExtensionUnit(const std::shared_ptr<IBaseFilter>& filter)
{
    control.reset();
    nodeId = -1;
    access.fill(0);
    length.fill(0);
    if (!filter)
        return E_POINTER;

    auto ksControl = filter->QueryKsControl();
    auto topology = filter->QueryKsTopologyInfo();
    if (!ksControl || !topology)
        return E_NOINTERFACE;
    std::uint32_t nodeCount = 0;
    if (const HRESULT hr = topology->get_NumNodes(&nodeCount); Failed(hr))
        return hr;

    control = ksControl;
    for (std::uint32_t node = 0; node < nodeCount && nodeId == -1; ++node) {
        Guid type;
        if (Failed(topology->get_NodeType(node, &type)) || type != KSNODETYPE_DEV_SPECIFIC)
            continue;
        nodeId = static_cast<std::int32_t>(node);
        std::uint32_t reply = 0;
        if (Request(kInformationRequest, kFlagsSetSupport, &reply, sizeof reply, nullptr) != S_OK)
            nodeId = -1;
    }
    if (nodeId == -1) {
        control.reset();
        return E_FAIL;
    }

    std::uint8_t descriptor[kDescriptorSize] {};
    if (const HRESULT hr = Request(kInformationRequest, kFlagsGet, descriptor, sizeof descriptor, nullptr); Failed(hr)) {
        control.reset();
        nodeId = -1;
        return hr;
    }
    const std::uint32_t controlCount = descriptor[kControlCountOffset];
    const std::size_t bitmapSizeAt = kBitmapSizeOffset + descriptor[kInputPinCountOffset];
    const std::uint8_t bitmapSize = bitmapSizeAt < kDescriptorSize ? descriptor[bitmapSizeAt] : 0;
    // A malformed descriptor, or one whose bitmap would run past the reply, leaves no usable unit.
    if (bitmapSize == 0 || bitmapSize > kMaxBitmapSize || bitmapSizeAt + 1 + bitmapSize > kDescriptorSize) {
        Diagnose(DiagnosticTopic::Devices, "the extension unit's descriptor is malformed");
        control.reset();
        nodeId = -1;
        return S_OK;
    }
    std::uint32_t bitmap = 0;
    for (std::uint8_t i = 0; i < bitmapSize; ++i)
        bitmap |= static_cast<std::uint32_t>(descriptor[bitmapSizeAt + 1 + i]) << (8 * i);

    std::uint32_t found = 0;
    std::string unanswered;
    HRESULT unansweredReason = S_OK;
    for (std::uint32_t bit = 0; bit < kMaxControls && found < controlCount; ++bit) {
        if (!(bitmap & (1u << bit)))
            continue;
        const std::uint32_t id = bit + 1;
        std::uint32_t& controlAccess = access[bit];
        if (Failed(Request(id, kFlagsBasicSupport, &controlAccess, sizeof controlAccess, nullptr))) {
            controlAccess = 0;
            continue;
        }
        if (controlAccess == 0)
            continue;

        // The unit may still be busy after power-up: probe the length until it stops answering "not ready".
        HRESULT hr = S_OK;
        std::uint32_t needed = 0;
        int attempts = 0;
        do {
            hr = Request(id, kFlagsGet, nullptr, 0, &needed);
            ++attempts;
            wait(kProbeInterval);
        } while (hr == HresultFromWin32(ERROR_NOT_READY) && attempts < kMaxProbeAttempts);

        length[bit] = 0;
        if ((hr == HresultFromWin32(ERROR_MORE_DATA) || hr == HresultFromWin32(ERROR_INSUFFICIENT_BUFFER)) &&
            needed != 0) {
            length[bit] = needed;
            ++found;
        } else if (Failed(hr)) {
            controlAccess = 0;
            unanswered += (unanswered.empty() ? "" : ", ") + std::to_string(id);
            unansweredReason = hr;
        }
    }
    // One line for the unit, not one for each of its controls.
    if (!unanswered.empty())
        Diagnose(DiagnosticTopic::Devices,
                 "the extension unit's controls " + unanswered + " did not answer: " + ResultText(unansweredReason));
    return S_OK;
}

HRESULT ExtensionUnit::CheckedLength(std::uint32_t id, std::uint32_t accessBit, std::uint32_t* size) const
{
    if (!IsOpen())
        return E_FAIL;
    const std::uint32_t controlAccess = Access(id);
    if (controlAccess == 0 || !(controlAccess & accessBit))
        return E_PROP_ID_UNSUPPORTED;
    *size = Length(id);
    return ValidControlLength(*size) ? S_OK : E_FAIL;
}

HRESULT ExtensionUnit::GetExtensionControl(std::uint32_t id, std::int64_t* value)
{
    if (!value)
        return E_POINTER;
    std::uint32_t size = 0;
    if (const HRESULT hr = CheckedLength(id, kAccessRead, &size); Failed(hr))
        return hr;
    std::uint8_t reply[8] {};
    const HRESULT hr = Request(id, kFlagsGet, reply, size, nullptr);
    if (hr != S_OK)
        return hr;
    std::uint64_t raw = 0;
    for (std::uint32_t i = 0; i < size; ++i)
        raw |= static_cast<std::uint64_t>(reply[i]) << (8 * i);
    // Widen with the sign of the highest byte received.
    const unsigned unused = 64 - 8 * size;
    *value = unused ? static_cast<std::int64_t>(raw << unused) >> unused : static_cast<std::int64_t>(raw);
    return S_OK;
}

HRESULT ExtensionUnit::SetExtensionControl(std::int64_t value)
{
    std::uint32_t size = 0;
    if (const HRESULT hr = CheckedLength(kCommandControl, kAccessWrite, &size); Failed(hr))
        return hr;
    std::uint8_t data[8] {};
    const auto raw = static_cast<std::uint64_t>(value);
    for (std::uint32_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>(raw >> (8 * i));
    return Request(kCommandControl, kFlagsSet, data, size, nullptr);
}

bool IdentifyScanner(ExtensionUnit& unit)
{
    const HRESULT identify = unit.SetExtensionControl(kIdentifyCommand);
    // A unit without the command control is another device's, not a failure.
    if (Failed(identify) && identify != E_PROP_ID_UNSUPPORTED && unit.IsOpen())
        Diagnose(DiagnosticTopic::Devices, "the identification request failed: " + ResultText(identify));
    if (Succeeded(identify)) {
        std::int64_t reply = 0;
        if (Succeeded(unit.GetExtensionControl(ExtensionUnit::kReplyControl, &reply)))
            return static_cast<std::uint64_t>(reply) == kScannerIdentity;
    }
    // Put the unit back into a known state before giving up on it.
    std::int64_t ignored = 0;
    unit.GetExtensionControl(ExtensionUnit::kCommandControl, &ignored);
    unit.SetExtensionControl(kResetCommand);
    return false;
}

} // namespace vistrel
