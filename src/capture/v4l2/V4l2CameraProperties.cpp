#include "capture/v4l2/V4l2CameraProperties.h"

#include <algorithm>
#include <cerrno>

#include "capture/linux/ErrnoResult.h"
#include "capture/uvc/WireUnits.h"

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

} // namespace

PropertyAccess::PropertyAccess(uvc::PropertyFamily family, std::shared_ptr<IV4l2Io> io)
    : family(family), io(std::move(io))
{
}

HRESULT PropertyAccess::Find(std::int32_t property, const ControlBinding*& binding, uvc::ControlRange* range)
{
    binding = FindControlBinding(family, property);
    if (!binding)
        return E_PROP_ID_UNSUPPORTED;
    const int error = io->QueryControl(binding->v4l2Id, range);
    if (error == EINVAL) // the device has no such control
        return E_PROP_ID_UNSUPPORTED;
    if (error)
        return lnx::ControlResultFromErrno(error);
    return range->disabled ? E_PROP_ID_UNSUPPORTED : S_OK;
}

bool PropertyAccess::HasAutoMode(const ControlBinding& binding)
{
    uvc::ControlRange range;
    return binding.autoId && io->QueryControl(binding.autoId, &range) == 0 && !range.disabled;
}

HRESULT PropertyAccess::GetRange(std::int32_t property, std::int32_t* minimum, std::int32_t* maximum,
                                 std::int32_t* step, std::int32_t* defaultValue, std::int32_t* capsFlags)
{
    if (!minimum || !maximum || !step || !defaultValue || !capsFlags)
        return E_POINTER;
    const ControlBinding* binding = nullptr;
    uvc::ControlRange wire;
    if (const HRESULT hr = Find(property, binding, &wire); Failed(hr))
        return hr;
    const uvc::ControlRange range = uvc::RangeFromWire(wire, binding->wirePerUnit);
    *minimum = range.minimum;
    *maximum = range.maximum;
    *step = range.step;
    *defaultValue = range.defaultValue;
    *capsFlags = PropertyFlags_Manual | (HasAutoMode(*binding) ? PropertyFlags_Auto : 0);
    return S_OK;
}

HRESULT PropertyAccess::Get(std::int32_t property, std::int32_t* value, std::int32_t* flags)
{
    if (!value || !flags)
        return E_POINTER;
    const ControlBinding* binding = nullptr;
    uvc::ControlRange wire;
    if (const HRESULT hr = Find(property, binding, &wire); Failed(hr))
        return hr;
    std::int32_t current = 0;
    if (const int error = io->GetControl(binding->v4l2Id, &current))
        return lnx::ControlResultFromErrno(error);
    *value = uvc::FromWire(current, binding->wirePerUnit);
    std::int32_t mode = binding->manualValue;
    if (HasAutoMode(*binding) && io->GetControl(binding->autoId, &mode) != 0)
        mode = binding->manualValue;
    *flags = mode != binding->manualValue ? PropertyFlags_Auto : PropertyFlags_Manual;
    return S_OK;
}

HRESULT PropertyAccess::Set(std::int32_t property, std::int32_t value, std::int32_t flags)
{
    const ControlBinding* binding = nullptr;
    uvc::ControlRange wire;
    if (const HRESULT hr = Find(property, binding, &wire); Failed(hr))
        return hr;
    const bool hasAuto = HasAutoMode(*binding);
    if (flags & PropertyFlags_Auto) {
        if (!hasAuto)
            return E_INVALIDARG;
        return lnx::ControlResultFromErrno(io->SetControl(binding->autoId, binding->autoValue));
    }
    // Leave automatic mode first: the driver refuses manual values while it is on.
    if (hasAuto) {
        if (const int error = io->SetControl(binding->autoId, binding->manualValue))
            return lnx::ControlResultFromErrno(error);
    }
    return lnx::ControlResultFromErrno(io->SetControl(binding->v4l2Id, uvc::ToWire(value, binding->wirePerUnit, wire)));
}

std::shared_ptr<IAMVideoProcAmp> MakeVideoProcAmp(std::shared_ptr<IV4l2Io> io)
{
    return std::make_shared<PropertyFace<IAMVideoProcAmp>>(PropertyAccess(uvc::PropertyFamily::VideoProcAmp, std::move(io)));
}

std::shared_ptr<IAMCameraControl> MakeCameraControl(std::shared_ptr<IV4l2Io> io)
{
    return std::make_shared<PropertyFace<IAMCameraControl>>(
        PropertyAccess(uvc::PropertyFamily::CameraControl, std::move(io)));
}

} // namespace vistrel::v4l2
