#include "capture/usb/UsbCameraProperties.h"

#include <map>
#include <mutex>
#include <vector>

#include "capture/usb/ControlRequests.h"
#include "capture/usb/UnitRequests.h"
#include "capture/usb/UsbDevice.h"
#include "capture/v4l2/WireUnits.h"

namespace vistrel::usb {

namespace {

// One family's properties over the unit requests, serving whichever face the family has. Ranges are
// read once: a device's do not change.
class UnitProperties final : public IAMVideoProcAmp, public IAMCameraControl
{
public:
    UnitProperties(PropertyFamily family, std::shared_ptr<UsbDevice> device, const v4l2::UvcFunction& function)
        : family(family), device(std::move(device)), function(function)
    {
    }

    HRESULT GetRange(std::int32_t property, std::int32_t* minimum, std::int32_t* maximum, std::int32_t* step,
                     std::int32_t* defaultValue, std::int32_t* capsFlags) override
    {
        if (!minimum || !maximum || !step || !defaultValue || !capsFlags)
            return E_POINTER;
        const UvcControl* control = nullptr;
        std::uint8_t entity = 0;
        v4l2::ControlRange wire;
        if (const HRESULT hr = Find(property, control, entity, wire); Failed(hr))
            return hr;
        const v4l2::ControlRange range = v4l2::RangeFromWire(wire, control->wirePerUnit);
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
        const UvcControl* control = nullptr;
        std::uint8_t entity = 0;
        v4l2::ControlRange wire;
        if (const HRESULT hr = Find(property, control, entity, wire); Failed(hr))
            return hr;
        std::vector<std::uint8_t> data(control->length);
        if (const HRESULT hr = Send(*control, GET_CUR, entity, data); Failed(hr))
            return hr;
        const auto current = ReadField(*control, data);
        if (!current)
            return E_FAIL;
        *value = v4l2::FromWire(*current, control->wirePerUnit);
        *flags = PropertyFlags_Manual;
        return S_OK;
    }

    HRESULT Set(std::int32_t property, std::int32_t value, std::int32_t flags) override
    {
        const UvcControl* control = nullptr;
        std::uint8_t entity = 0;
        v4l2::ControlRange wire;
        if (const HRESULT hr = Find(property, control, entity, wire); Failed(hr))
            return hr;
        if (flags & PropertyFlags_Auto)
            return E_INVALIDARG;
        // Fields that share a control (pan and tilt) go out with the others as they are now.
        std::vector<std::uint8_t> data(control->length);
        if (control->fieldSize != control->length) {
            if (const HRESULT hr = Send(*control, GET_CUR, entity, data); Failed(hr))
                return hr;
        }
        if (!WriteField(*control, v4l2::ToWire(value, control->wirePerUnit, wire), data))
            return E_FAIL;
        return Send(*control, SET_CUR, entity, data);
    }

private:
    HRESULT Send(const UvcControl& control, std::uint8_t request, std::uint8_t entity, std::vector<std::uint8_t>& data)
    {
        const ClassRequest setup = ControlRequest(control, request, entity, function.controlInterface);
        data.resize(setup.length);
        return SendUnitRequest(*device, setup, data, function.controlInterface).Result();
    }

    // The property's control, the entity that has it and its range in device units.
    HRESULT Find(std::int32_t property, const UvcControl*& control, std::uint8_t& entity, v4l2::ControlRange& wire)
    {
        control = FindUvcControl(family, property);
        const auto found = control ? EntityOf(*control, function) : std::nullopt;
        if (!found)
            return E_PROP_ID_UNSUPPORTED;
        entity = *found;
        std::lock_guard lock(mutex);
        if (const auto known = ranges.find(property); known != ranges.end()) {
            wire = known->second;
            return S_OK;
        }
        struct Part
        {
            std::uint8_t request;
            std::int32_t v4l2::ControlRange::*field;
        };
        static constexpr Part kParts[] = {{GET_MIN, &v4l2::ControlRange::minimum},
                                          {GET_MAX, &v4l2::ControlRange::maximum},
                                          {GET_RES, &v4l2::ControlRange::step},
                                          {GET_DEF, &v4l2::ControlRange::defaultValue}};
        for (const Part& part : kParts) {
            std::vector<std::uint8_t> data(control->length);
            if (const HRESULT hr = Send(*control, part.request, entity, data); Failed(hr))
                return hr;
            const auto field = ReadField(*control, data);
            if (!field)
                return E_FAIL;
            wire.*part.field = *field;
        }
        ranges[property] = wire;
        return S_OK;
    }

    const PropertyFamily family;
    const std::shared_ptr<UsbDevice> device;
    const v4l2::UvcFunction function;
    std::mutex mutex;
    std::map<std::int32_t, v4l2::ControlRange> ranges;
};

} // namespace

std::shared_ptr<IAMVideoProcAmp> MakeUsbVideoProcAmp(std::shared_ptr<UsbDevice> device,
                                                     const v4l2::UvcFunction& function)
{
    return std::make_shared<UnitProperties>(PropertyFamily::VideoProcAmp, std::move(device), function);
}

std::shared_ptr<IAMCameraControl> MakeUsbCameraControl(std::shared_ptr<UsbDevice> device,
                                                       const v4l2::UvcFunction& function)
{
    return std::make_shared<UnitProperties>(PropertyFamily::CameraControl, std::move(device), function);
}

} // namespace vistrel::usb
