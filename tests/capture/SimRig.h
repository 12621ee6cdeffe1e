#pragma once
// The real engine on the in-process runtime, with simulated devices behind it.
#include <memory>
#include <string>

#include "EngineRig.h"
#include "capture/runtime/CapturePlatform.h"
#include "capture/sim/SimulatedDeviceSource.h"

namespace vistrel::test {

using sim::DeviceOptions;
using sim::ScannerFaults;
using DeviceKind = sim::DeviceOptions::Kind;

struct SimRig : EngineRig {
    SimRig() : SimRig(std::make_shared<sim::SimulatedDeviceSource>()) {}

    std::shared_ptr<sim::SimulatedDeviceSource> source;

    std::string Add(DeviceKind kind, ScannerFaults faults = {}, std::string path = {})
    {
        DeviceOptions options;
        options.kind = kind;
        options.faults = faults;
        options.devicePath = std::move(path);
        return source->AddDevice(options);
    }

    std::shared_ptr<IBaseFilter> Bind(std::size_t position)
    {
        std::shared_ptr<ICreateDevEnum> enumerator;
        platform->CreateDeviceEnumerator(&enumerator);
        std::vector<std::shared_ptr<IMoniker>> devices;
        enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &devices);
        std::shared_ptr<IBaseFilter> filter;
        if (position < devices.size())
            devices[position]->BindToObject(&filter);
        return filter;
    }

private:
    explicit SimRig(std::shared_ptr<sim::SimulatedDeviceSource> devices)
        : EngineRig(MakeCapturePlatform({devices})), source(std::move(devices))
    {
        // The probe's 100 ms pauses only slow the tests down.
        engine.SetProbeWait([](std::chrono::milliseconds) {});
    }
};

inline ScannerFaults Faults(void (*change)(ScannerFaults&))
{
    ScannerFaults f;
    change(f);
    return f;
}

} // namespace vistrel::test
