#pragma once
// The simulated video input devices: a film scanner with its extension unit and ordinary cameras,
// offered to the capture platform like any other backend.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/contract/Devices.h"

namespace vistrel::sim {

class SimulatedDevice;

struct ScannerFaults {
    bool failBind = false;            // BindToObject fails
    bool busy = false;                // Run fails with HresultFromWin32(ERROR_SHARING_VIOLATION)
    bool noStillPin = false;          // the filter has no still pin
    bool ignoreTrigger = false;       // the trigger is accepted, no still comes
    bool noExtensionUnit = false;     // no KSNODETYPE_DEV_SPECIFIC node
    bool unitRejectsSet = false;      // the unit's node rejects the property set (SETSUPPORT fails)
    bool unitNotReady = false;        // length probes keep answering ERROR_NOT_READY
    std::uint8_t bitmapSize = 2;      // control-bitmap size in the unit descriptor (0 or > 4: malformed)
    std::uint32_t controlLength = 8;  // the byte length controls 10 and 11 report (1, 2, 4, 8 valid)
    std::uint8_t identityByte8 = 0;   // eighth byte of the identification reply ("REALSIL" + this)
    bool failCommandWrite = false;    // writes of control 10 fail
    std::uint32_t stillDelayMs = 150; // delay between trigger and still delivery
    bool noFilmMode = false;          // the roll control (film mode) is not offered, as through the video driver
    std::uint32_t controlLatencyMs = 0; // time each control request takes (properties, unit, trigger); they take turns
};

struct DeviceOptions {
    enum class Kind { Scanner, Camera } kind = Kind::Scanner;
    std::string devicePath;           // empty: generated; a scanner's contains "vid_8888&pid_0001"
    ScannerFaults faults;
    std::string imageFile;            // picture source; empty: the built-in synthetic film frame
    bool stillPin = true;             // cameras only: whether the camera has a still pin
    std::string friendlyName;         // empty: generated
};

class SimulatedDeviceSource : public IDeviceSource {
public:
    SimulatedDeviceSource();
    ~SimulatedDeviceSource() override;
    SimulatedDeviceSource(const SimulatedDeviceSource&) = delete;
    SimulatedDeviceSource& operator=(const SimulatedDeviceSource&) = delete;

    std::string AddDevice(const DeviceOptions& options);   // plugged in; returns the device path
    void Plug(const std::string& path);                     // arrival (KSCATEGORY_CAPTURE, name = path)
    void Unplug(const std::string& path);                   // removal; a running device stops streaming
    void SetFaults(const std::string& path, const ScannerFaults& faults);
    ScannerFaults Faults(const std::string& path) const;
    std::vector<std::string> DevicePaths() const;           // every device, plugged or not, in order
    bool IsPlugged(const std::string& path) const;
    // Property values the device currently applies (for tests): family 0 = video proc amp, 1 = camera control.
    std::optional<std::int32_t> PropertyValue(const std::string& path, int family, std::int32_t property) const;
    // "scanner", "camera,scanner", ... (the VISTREL_SIMULATOR list); unknown names are skipped.
    static std::shared_ptr<SimulatedDeviceSource> FromList(std::string_view list, std::string imageFile = {});

    // IDeviceSource
    void AppendVideoInputDevices(std::vector<std::shared_ptr<IMoniker>>* devices) override;
    void SetChangeSink(std::function<void(const DeviceChange&)> sink) override;

private:
    std::shared_ptr<SimulatedDevice> Find(const std::string& path) const;
    void Notify(std::uint32_t event, const std::string& path);

    mutable std::mutex mutex;
    std::vector<std::shared_ptr<SimulatedDevice>> devices;
    std::function<void(const DeviceChange&)> changeSink;
    int scannerCount = 0;
    int cameraCount = 0;
};

} // namespace vistrel::sim
