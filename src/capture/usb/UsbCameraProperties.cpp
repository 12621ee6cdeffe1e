#include "capture/usb/UsbCameraProperties.h"

#include <map>
#include <mutex>
#include <vector>

#include "capture/uvc/ControlRequests.h"
#include "capture/usb/UnitRequests.h"
#include "capture/usb/UsbDevice.h"
#include "capture/uvc/WireUnits.h"

namespace vistrel::usb {

namespace {

// One family's properties over the unit requests, serving whichever face the family has. Ranges are
// read once: a device's do not change.
class UnitProperties final : public IAMVideoProcAmp, public IAMCameraControl
{
public:
    UnitProperties(uvc::PropertyFamily family, std::shared_ptr<UsbDevice> device, const uvc::UvcFunction& function)
        : family(family), device(std::move(device)), function(function)
    {
    }

    HRESULT GetRange(std::int32_t property, std::int32_t* minimum, std::int32_t* maximum, std::int32_t* step,
                     std::int32_t* defaultValue, std::int32_t* capsFlags) override
    {
        if (!minimum || !maximum || !step || !defaultValue || !capsFlags)
            return E_POINTER;
        Located found;
        if (const HRESULT hr = Find(property, found); Failed(hr))
            return hr;
        const uvc::ControlRange range = uvc::RangeFromWire(found.wire, found.control->wirePerUnit);
        *minimum = range.minimum;
        *maximum = range.maximum;
        *step = range.step;
        *defaultValue = range.defaultValue;
        *capsFlags = PropertyFlags_Manual; // none of these controls has an automatic mode
        return S_OK;
    }

    HRESULT Get(std::int32_t property, std::int32_t* value, std::int32_t* flags) override
    {
        if (!value || !flags)
            return E_POINTER;
        Located found;
        if (const HRESULT hr = Find(property, found); Failed(hr))
            return hr;
        std::vector<std::uint8_t> data;
        if (const HRESULT hr = Send(found, uvc::GET_CUR, data); Failed(hr))
            return hr;
        const auto current = ReadField(*found.control, data);
        if (!current)
            return E_FAIL;
        *value = uvc::FromWire(*current, found.control->wirePerUnit);
        *flags = PropertyFlags_Manual;
        return S_OK;
    }

    HRESULT Set(std::int32_t property, std::int32_t value, std::int32_t flags) override
    {
        Located found;
        if (const HRESULT hr = Find(property, found); Failed(hr))
            return hr;
        if (flags & PropertyFlags_Auto)
            return E_INVALIDARG;
        const uvc::UvcControl& control = *found.control;
        // Fields that share a control (pan and tilt) go out with the others as they are now.
        std::vector<std::uint8_t> data(control.length);
        if (control.fieldSize != control.length) {
            if (const HRESULT hr = Send(found, uvc::GET_CUR, data); Failed(hr))
                return hr;
        }
        if (!WriteField(control, uvc::ToWire(value, control.wirePerUnit, found.wire), data))
            return E_FAIL;
        return Send(found, uvc::SET_CUR, data);
    }

private:
    // A property's control, the entity that has it and its range in device units.
    struct Located
    {
        const uvc::UvcControl* control = nullptr;
        std::uint8_t entity = 0;
        uvc::ControlRange wire;
    };

    // data is sized to the request (for SET_CUR it holds the value).
    HRESULT Send(const Located& at, std::uint8_t request, std::vector<std::uint8_t>& data)
    {
        const uvc::ClassRequest setup = uvc::ControlRequest(*at.control, request, at.entity, function.controlInterface);
        data.resize(setup.length);
        return uvc::PropertyResult(SendUnitRequest(*device, setup, data, function.controlInterface));
    }

    HRESULT Find(std::int32_t property, Located& found)
    {
        found.control = uvc::FindUvcControl(family, property);
        const auto entity = found.control ? uvc::EntityOf(*found.control, function) : std::nullopt;
        if (!entity)
            return E_PROP_ID_UNSUPPORTED;
        found.entity = *entity;
        std::lock_guard lock(mutex);
        if (const auto known = ranges.find(property); known != ranges.end()) {
            found.wire = known->second;
            return S_OK;
        }
        struct Part
        {
            std::uint8_t request;
            std::int32_t uvc::ControlRange::*field;
        };
        static constexpr Part kParts[] = {{uvc::GET_MIN, &uvc::ControlRange::minimum},
                                          {uvc::GET_MAX, &uvc::ControlRange::maximum},
                                          {uvc::GET_RES, &uvc::ControlRange::step},
                                          {uvc::GET_DEF, &uvc::ControlRange::defaultValue}};
        for (const Part& part : kParts) {
            std::vector<std::uint8_t> data;
            if (const HRESULT hr = Send(found, part.request, data); Failed(hr))
                return hr;
            const auto field = ReadField(*found.control, data);
            if (!field)
                return E_FAIL;
            found.wire.*part.field = *field;
        }
        ranges[property] = found.wire;
        return S_OK;
    }

    const uvc::PropertyFamily family;
    const std::shared_ptr<UsbDevice> device;
    const uvc::UvcFunction function;
    std::mutex mutex;
    std::map<std::int32_t, uvc::ControlRange> ranges;
};

} // namespace

std::shared_ptr<IAMVideoProcAmp> MakeUsbVideoProcAmp(std::shared_ptr<UsbDevice> device,
                                                     const uvc::UvcFunction& function)
{
    return std::make_shared<UnitProperties>(uvc::PropertyFamily::VideoProcAmp, std::move(device), function);
}

std::shared_ptr<IAMCameraControl> MakeUsbCameraControl(std::shared_ptr<UsbDevice> device,
                                                       const uvc::UvcFunction& function)
{
    return std::make_shared<UnitProperties>(uvc::PropertyFamily::CameraControl, std::move(device), function);
}

} // namespace vistrel::usb
