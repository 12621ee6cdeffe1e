#include "capture/v4l2/V4l2CameraProperties.h"

#include <linux/usb/video.h>

#include <cerrno>

#include "capture/v4l2/ErrnoResult.h"

namespace vistrel::v4l2 {

namespace {

template <class Face>
class PropertyFace final : public Face
{
public:
    explicit PropertyFace(PropertyAccess access) : access(std::move(access)) {}
    HRESULT GetRange(std::int32_t property, std::int32_t* minimum, std::int32_t* maximum, std::int32_t* step,
                     std::int32_t* defaultValue, std::int32_t* capsFlags) override
    {
        return access.GetRange(property, minimum, maximum, step, defaultValue, capsFlags);
    }
    HRESULT Set(std::int32_t property, std::int32_t value, std::int32_t flags) override
    {
        return access.Set(property, value, flags);
    }
    HRESULT Get(std::int32_t property, std::int32_t* value, std::int32_t* flags) override
    {
        return access.Get(property, value, flags);
    }

private:
    PropertyAccess access;
};

constexpr std::size_t kLargestTerminalValue = 4;

} // namespace

PropertyAccess::PropertyAccess(PropertyFamily family, std::shared_ptr<IV4l2Io> io,
                               std::optional<UvcCameraTerminal> terminal)
    : family(family), io(std::move(io)), terminal(std::move(terminal))
{
}

HRESULT PropertyAccess::RouteFor(std::int32_t property, const ControlBinding*& binding, Route& route,
                                 ControlRange* range)
{
    binding = FindControlBinding(family, property);
    if (!binding)
        return E_PROP_ID_UNSUPPORTED;
    if (binding->v4l2Id) {
        const int error = io->QueryControl(binding->v4l2Id, range);
        if (!error) {
            route = Route::V4l2;
            return range->disabled ? E_PROP_ID_UNSUPPORTED : S_OK;
        }
        if (error != EINVAL) // EINVAL: the device has no such control
            return ControlResultFromErrno(error);
    }
    if (binding->terminalSelector && terminal && terminal->controls.Has(binding->terminalBit) &&
        binding->terminalSize <= kLargestTerminalValue) {
        route = Route::Terminal;
        return S_OK;
    }
    return E_PROP_ID_UNSUPPORTED;
}

bool PropertyAccess::HasAutoMode(const ControlBinding& binding)
{
    ControlRange range;
    return binding.autoId && io->QueryControl(binding.autoId, &range) == 0 && !range.disabled;
}

int PropertyAccess::TerminalRequest(const ControlBinding& binding, std::uint8_t query, std::int32_t* value)
{
    std::uint8_t bytes[kLargestTerminalValue] {};
    const std::size_t size = binding.terminalSize;
    if (query == UVC_SET_CUR) {
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(*value) >> (8 * i));
    }
    const int error = io->UvcQuery(terminal->terminalId, binding.terminalSelector, query, bytes,
                                   static_cast<std::uint16_t>(size));
    if (!error && query != UVC_SET_CUR) {
        std::uint32_t raw = 0;
        for (std::size_t i = 0; i < size; ++i)
            raw |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
        const unsigned unused = 32 - 8 * static_cast<unsigned>(size);
        // Sign-extend from the value's own width.
        *value = unused == 32 ? 0 : static_cast<std::int32_t>(raw << unused) >> unused;
    }
    return error;
}

HRESULT PropertyAccess::GetRange(std::int32_t property, std::int32_t* minimum, std::int32_t* maximum,
                                 std::int32_t* step, std::int32_t* defaultValue, std::int32_t* capsFlags)
{
    if (!minimum || !maximum || !step || !defaultValue || !capsFlags)
        return E_POINTER;
    const ControlBinding* binding = nullptr;
    Route route {};
    ControlRange range;
    if (const HRESULT hr = RouteFor(property, binding, route, &range); Failed(hr))
        return hr;
    if (route == Route::Terminal) {
        const std::pair<std::uint8_t, std::int32_t*> requests[] = {
            {UVC_GET_MIN, &range.minimum}, {UVC_GET_MAX, &range.maximum},
            {UVC_GET_RES, &range.step}, {UVC_GET_DEF, &range.defaultValue}};
        for (const auto& [query, target] : requests) {
            if (const int error = TerminalRequest(*binding, query, target))
                return ControlResultFromErrno(error);
        }
    }
    *minimum = range.minimum;
    *maximum = range.maximum;
    *step = range.step;
    *defaultValue = range.defaultValue;
    *capsFlags = PropertyFlags_Manual | (route == Route::V4l2 && HasAutoMode(*binding) ? PropertyFlags_Auto : 0);
    return S_OK;
}

HRESULT PropertyAccess::Get(std::int32_t property, std::int32_t* value, std::int32_t* flags)
{
    if (!value || !flags)
        return E_POINTER;
    const ControlBinding* binding = nullptr;
    Route route {};
    ControlRange range;
    if (const HRESULT hr = RouteFor(property, binding, route, &range); Failed(hr))
        return hr;
    if (route == Route::Terminal) {
        if (const int error = TerminalRequest(*binding, UVC_GET_CUR, value))
            return ControlResultFromErrno(error);
        *flags = PropertyFlags_Manual;
        return S_OK;
    }
    if (const int error = io->GetControl(binding->v4l2Id, value))
        return ControlResultFromErrno(error);
    std::int32_t mode = binding->manualValue;
    if (HasAutoMode(*binding) && io->GetControl(binding->autoId, &mode) != 0)
        mode = binding->manualValue;
    *flags = mode != binding->manualValue ? PropertyFlags_Auto : PropertyFlags_Manual;
    return S_OK;
}

HRESULT PropertyAccess::Set(std::int32_t property, std::int32_t value, std::int32_t flags)
{
    const ControlBinding* binding = nullptr;
    Route route {};
    ControlRange range;
    if (const HRESULT hr = RouteFor(property, binding, route, &range); Failed(hr))
        return hr;
    const bool automatic = (flags & PropertyFlags_Auto) != 0;
    if (route == Route::Terminal) {
        if (automatic)
            return E_INVALIDARG;
        return ControlResultFromErrno(TerminalRequest(*binding, UVC_SET_CUR, &value));
    }
    const bool hasAuto = HasAutoMode(*binding);
    if (automatic) {
        if (!hasAuto)
            return E_INVALIDARG;
        return ControlResultFromErrno(io->SetControl(binding->autoId, binding->autoValue));
    }
    // Leave automatic mode first: the driver refuses manual values while it is on.
    if (hasAuto) {
        if (const int error = io->SetControl(binding->autoId, binding->manualValue))
            return ControlResultFromErrno(error);
    }
    return ControlResultFromErrno(io->SetControl(binding->v4l2Id, value));
}

std::shared_ptr<IAMVideoProcAmp> MakeVideoProcAmp(std::shared_ptr<IV4l2Io> io,
                                                  std::optional<UvcCameraTerminal> terminal)
{
    return std::make_shared<PropertyFace<IAMVideoProcAmp>>(
        PropertyAccess(PropertyFamily::VideoProcAmp, std::move(io), std::move(terminal)));
}

std::shared_ptr<IAMCameraControl> MakeCameraControl(std::shared_ptr<IV4l2Io> io,
                                                    std::optional<UvcCameraTerminal> terminal)
{
    return std::make_shared<PropertyFace<IAMCameraControl>>(
        PropertyAccess(PropertyFamily::CameraControl, std::move(io), std::move(terminal)));
}

} // namespace vistrel::v4l2
