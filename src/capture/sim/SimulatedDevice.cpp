#include "capture/sim/SimulatedDevice.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "capture/sim/NegativeFilm.h"
#include "capture/sim/PictureFile.h"
#include "capture/sim/SimFilter.h"
#include "capture/sim/SyntheticScene.h"

namespace vistrel::sim {
namespace {

constexpr std::int64_t kFrameInterval = 10'000'000 / kLiveFramesPerSecond; // 100 ns units
constexpr std::size_t kVideoInfo2HeaderSize = 112;
constexpr std::size_t kVideoInfo2BitmapOffset = 72;

struct FormatEntry {
    Guid subType;
    std::int32_t width, height;
    bool videoInfo2 = false;
};

MediaType MakeFormat(const FormatEntry& e)
{
    const bool rgb = e.subType == MEDIASUBTYPE_RGB32;
    MediaType mt = MakeVideoInfoType(e.subType, e.width, e.height, kFrameInterval, rgb ? 32 : 24);
    const std::int32_t imageSize = e.width * e.height * (rgb ? 4 : 3);
    WriteInt32At(mt.formatBlock, kBiSizeImageOffset, imageSize);
    if (rgb)
        WriteInt32At(mt.formatBlock, kBiCompressionOffset, 0); // BI_RGB
    if (e.videoInfo2) {
        // The same bitmap header behind the longer VIDEOINFOHEADER2 prefix.
        std::vector<std::uint8_t> block(kVideoInfo2HeaderSize, 0);
        std::memcpy(block.data(), mt.formatBlock.data(), kBitmapInfoHeaderOffset);
        std::memcpy(block.data() + kVideoInfo2BitmapOffset, mt.formatBlock.data() + kBitmapInfoHeaderOffset,
                    kVideoInfoHeaderSize - kBitmapInfoHeaderOffset);
        mt.formatType = FORMAT_VideoInfo2;
        mt.formatBlock = std::move(block);
    }
    return mt;
}

std::vector<MediaType> MakeFormats(std::initializer_list<FormatEntry> entries)
{
    std::vector<MediaType> list;
    for (const auto& e : entries)
        list.push_back(MakeFormat(e));
    return list;
}

} // namespace

SimulatedDevice::SimulatedDevice(DeviceOptions o)
    : options(std::move(o)),
      properties(options.kind == DeviceOptions::Kind::Scanner ? DeviceProperties::Scanner() : DeviceProperties::Camera())
{
    RebuildTones();
}

SimulatedDevice::~SimulatedDevice() = default;

void SimulatedDevice::WaitForControlEndpoint() const
{
    const std::chrono::milliseconds latency(Faults().controlLatencyMs);
    if (latency.count() == 0)
        return;
    std::lock_guard turn(controlEndpoint);
    std::this_thread::sleep_for(latency);
}

ScannerFaults SimulatedDevice::Faults() const
{
    std::lock_guard lock(mutex);
    return options.faults;
}

void SimulatedDevice::SetFaults(const ScannerFaults& faults)
{
    std::lock_guard lock(mutex);
    options.faults = faults;
}

bool SimulatedDevice::IsPlugged() const
{
    std::lock_guard lock(mutex);
    return plugged;
}

bool SimulatedDevice::Plug()
{
    std::lock_guard lock(mutex);
    if (plugged)
        return false;
    // A device coming back starts from power-on state.
    plugged = true;
    properties.ResetToDefaults();
    unit.Reset();
    RebuildTones();
    return true;
}

bool SimulatedDevice::Unplug()
{
    std::shared_ptr<SimFilter> live;
    {
        std::lock_guard lock(mutex);
        if (!plugged)
            return false;
        plugged = false;
        live = filter.lock();
        filter.reset();
    }
    if (live)
        live->DeviceRemoved();
    return true;
}

HRESULT SimulatedDevice::Bind(std::shared_ptr<IBaseFilter>* out)
{
    if (!out)
        return E_POINTER;
    std::lock_guard lock(mutex);
    if (!plugged)
        return E_DEVICE_NOT_CONNECTED;
    if (options.faults.failBind)
        return E_FAIL;
    auto live = filter.lock();
    if (!live) {
        live = SimFilter::Create(shared_from_this());
        filter = live;
    }
    *out = live;
    return S_OK;
}

std::vector<Guid> SimulatedDevice::TopologyNodes() const
{
    std::lock_guard lock(mutex);
    std::vector<Guid> nodes {KSNODETYPE_VIDEO_CAMERA_TERMINAL, KSNODETYPE_VIDEO_PROCESSING};
    if (IsScanner() && !options.faults.noExtensionUnit) {
        // Another vendor's unit ahead of ours, as real devices often have several.
        nodes.push_back(KSNODETYPE_DEV_SPECIFIC);
        nodes.push_back(KSNODETYPE_DEV_SPECIFIC);
    }
    nodes.push_back(KSNODETYPE_VIDEO_STREAMING);
    return nodes;
}

HRESULT SimulatedDevice::KsProperty(const KSP_NODE& request, void* data, std::uint32_t length,
                                    std::uint32_t* bytesReturned)
{
    constexpr std::uint32_t kScannerUnitNode = 3;
    WaitForControlEndpoint();
    std::lock_guard lock(mutex);
    if (bytesReturned)
        *bytesReturned = 0;
    const bool unitPresent = IsScanner() && !options.faults.noExtensionUnit;
    if (!unitPresent || request.nodeId != kScannerUnitNode || request.set != PROPSETID_ScannerExtensionUnit)
        return E_PROP_SET_UNSUPPORTED;
    return unit.Answer(request, data, length, bytesReturned, options.faults);
}

bool SimulatedDevice::Offers(PropertyFamily family, std::int32_t property) const
{
    return !(options.faults.noFilmMode && family == PropertyFamily::CameraControl && property == CameraControl_Roll);
}

HRESULT SimulatedDevice::GetRange(PropertyFamily family, std::int32_t property, PropertyRange* range) const
{
    WaitForControlEndpoint();
    std::lock_guard lock(mutex);
    if (!Offers(family, property))
        return E_PROP_ID_UNSUPPORTED;
    return properties.GetRange(family, property, range);
}

HRESULT SimulatedDevice::GetProperty(PropertyFamily family, std::int32_t property, std::int32_t* value,
                                     std::int32_t* flags) const
{
    WaitForControlEndpoint();
    std::lock_guard lock(mutex);
    if (!Offers(family, property))
        return E_PROP_ID_UNSUPPORTED;
    return properties.Get(family, property, value, flags);
}

HRESULT SimulatedDevice::SetProperty(PropertyFamily family, std::int32_t property, std::int32_t value,
                                     std::int32_t flags)
{
    WaitForControlEndpoint();
    std::lock_guard lock(mutex);
    if (!Offers(family, property))
        return E_PROP_ID_UNSUPPORTED;
    const HRESULT hr = properties.Set(family, property, value, flags);
    if (hr == S_OK)
        RebuildTones();
    return hr;
}

std::optional<std::int32_t> SimulatedDevice::PropertyValue(PropertyFamily family, std::int32_t property) const
{
    std::lock_guard lock(mutex);
    return properties.Value(family, property);
}

void SimulatedDevice::RebuildTones()
{
    tones = std::make_shared<const ToneTables>(properties.Tones(IsScanner()));
}

std::shared_ptr<const ToneTables> SimulatedDevice::Tones() const
{
    std::lock_guard lock(mutex);
    return tones;
}

bool SimulatedDevice::HasStillPin() const
{
    std::lock_guard lock(mutex);
    if (IsScanner())
        return !options.faults.noStillPin;
    return options.stillPin && !options.faults.noStillPin;
}

std::vector<MediaType> SimulatedDevice::CaptureFormats() const
{
    if (IsScanner())
        return MakeFormats({
            {MEDIASUBTYPE_RGB32, 1280, 960, true},
            {MEDIASUBTYPE_RGB32, 1280, 960},
            {MEDIASUBTYPE_RGB32, 960, 960},
            {MEDIASUBTYPE_MJPG, 1280, 960},
            {MEDIASUBTYPE_MJPG, 960, 960},
        });
    return MakeFormats({
        {MEDIASUBTYPE_RGB32, 640, 480},
        {MEDIASUBTYPE_RGB32, 1280, 720},
        {MEDIASUBTYPE_MJPG, 1280, 720},
    });
}

std::vector<MediaType> SimulatedDevice::StillFormats() const
{
    if (IsScanner())
        return MakeFormats({
            {MEDIASUBTYPE_MJPG, 1280, 960},
            {MEDIASUBTYPE_MJPG, 2592, 1944},
            {MEDIASUBTYPE_MJPG, 2448, 2448},
        });
    return MakeFormats({{MEDIASUBTYPE_MJPG, 1920, 1080}});
}

std::shared_ptr<const RgbImage> SimulatedDevice::SensorImage(std::int32_t width, std::int32_t height)
{
    std::lock_guard lock(pictureMutex);
    auto& cached = sensorImages[{width, height}];
    if (cached)
        return cached;
    if (!pictureLoaded && !options.imageFile.empty()) {
        std::string error;
        picture = LoadPictureFile(options.imageFile, &error);
        if (!picture)
            std::fprintf(stderr, "simulated device: %s; showing the built-in picture\n", error.c_str());
    }
    pictureLoaded = true;
    RgbImage scene = picture ? ResampleToCover(*picture, width, height) : SyntheticScene::Render(width, height);
    cached = std::make_shared<const RgbImage>(IsScanner() ? NegativeFilm::Expose(scene) : std::move(scene));
    return cached;
}

} // namespace vistrel::sim
