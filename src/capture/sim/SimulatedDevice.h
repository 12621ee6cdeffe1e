#pragma once
// One simulated device: its identity, its fault switches, the hardware state its filters share
// (camera properties, the extension unit, the picture) and whether it is plugged in.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "capture/contract/Filter.h"
#include "capture/sim/DeviceProperties.h"
#include "capture/sim/ExtensionUnitModel.h"
#include "capture/sim/RgbImage.h"
#include "capture/sim/SimulatedDeviceSource.h"
#include "capture/sim/ToneTables.h"

namespace vistrel::sim {

class SimFilter;

// Topology node types of a video-class device.
constexpr Guid KSNODETYPE_VIDEO_CAMERA_TERMINAL {0xDFF229E6, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr Guid KSNODETYPE_VIDEO_PROCESSING {0xDFF229E5, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
constexpr Guid KSNODETYPE_VIDEO_STREAMING {0xDFF229E4, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};

constexpr HRESULT E_DEVICE_NOT_CONNECTED = HresultFromWin32(ERROR_DEVICE_NOT_CONNECTED);
constexpr std::int32_t kLiveFramesPerSecond = 20;

class SimulatedDevice : public std::enable_shared_from_this<SimulatedDevice> {
public:
    explicit SimulatedDevice(DeviceOptions options);
    ~SimulatedDevice();

    const std::string& Path() const { return options.devicePath; }
    const std::string& FriendlyName() const { return options.friendlyName; }
    bool IsScanner() const { return options.kind == DeviceOptions::Kind::Scanner; }

    ScannerFaults Faults() const;
    void SetFaults(const ScannerFaults& faults);
    bool IsPlugged() const;
    // Both answer whether the state changed; unplugging stops and disowns the live filter.
    bool Plug();
    bool Unplug();
    // The device's source filter (one per plug-in, shared by every bind meanwhile).
    HRESULT Bind(std::shared_ptr<IBaseFilter>* filter);

    // Topology and extension unit.
    std::vector<Guid> TopologyNodes() const;
    HRESULT KsProperty(const KSP_NODE& request, void* data, std::uint32_t length, std::uint32_t* bytesReturned);

    // Camera properties.
    HRESULT GetRange(PropertyFamily family, std::int32_t property, PropertyRange* range) const;
    HRESULT GetProperty(PropertyFamily family, std::int32_t property, std::int32_t* value, std::int32_t* flags) const;
    HRESULT SetProperty(PropertyFamily family, std::int32_t property, std::int32_t value, std::int32_t flags);
    std::optional<std::int32_t> PropertyValue(PropertyFamily family, std::int32_t property) const;

    // A control request's time on the device's one control endpoint (the faults' latency); requests
    // wait for each other, streaming goes on meanwhile.
    void WaitForControlEndpoint() const;

    // Pins and formats.
    bool HasStillPin() const;
    std::vector<MediaType> CaptureFormats() const;
    std::vector<MediaType> StillFormats() const;

    // The picture: the current adjustments, and the sensor's view of the frame at a size (cached).
    std::shared_ptr<const ToneTables> Tones() const;
    std::shared_ptr<const RgbImage> SensorImage(std::int32_t width, std::int32_t height);

private:
    // Whether the device offers the property at all (a fault may take the film mode away).
    bool Offers(PropertyFamily family, std::int32_t property) const;
    void RebuildTones();

    DeviceOptions options;
    mutable std::mutex mutex;
    mutable std::mutex controlEndpoint;
    bool plugged = true;
    DeviceProperties properties;
    ExtensionUnitModel unit;
    std::shared_ptr<const ToneTables> tones;
    std::weak_ptr<SimFilter> filter;

    std::mutex pictureMutex;
    bool pictureLoaded = false;
    std::optional<RgbImage> picture; // the decoded picture file, if any
    std::map<std::pair<std::int32_t, std::int32_t>, std::shared_ptr<const RgbImage>> sensorImages;
};

} // namespace vistrel::sim
