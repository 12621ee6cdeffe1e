#include "capture/sim/SimulatedDeviceSource.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "capture/runtime/DevicePropertyBag.h"
#include "capture/sim/SimulatedDevice.h"

namespace vistrel::sim {
namespace {

constexpr const char* kScannerIdentity = "vid_8888&pid_0001";
constexpr const char* kCameraIdentity = "vid_046d&pid_0825";
constexpr const char* kCaptureInterfaceSuffix = "#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";

std::string MakeDevicePath(const char* identity, const char* kind, int number)
{
    return std::string("\\\\?\\usb#") + identity + "&mi_00#sim-" + kind + "-" + std::to_string(number) +
           kCaptureInterfaceSuffix;
}

class SimMoniker : public IMoniker {
public:
    explicit SimMoniker(std::shared_ptr<SimulatedDevice> device) : device(std::move(device)) {}

    HRESULT BindToObject(std::shared_ptr<IBaseFilter>* filter) override { return device->Bind(filter); }

    HRESULT BindToStorage(std::shared_ptr<IPropertyBag>* bag) override
    {
        if (!bag)
            return E_POINTER;
        *bag = std::make_shared<DevicePropertyBag>(device->Path(), device->FriendlyName());
        return S_OK;
    }

private:
    std::shared_ptr<SimulatedDevice> device;
};

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

} // namespace

SimulatedDeviceSource::SimulatedDeviceSource() = default;

SimulatedDeviceSource::~SimulatedDeviceSource()
{
    // Stop every device's streaming before the devices go.
    for (auto& d : devices)
        d->Unplug();
}

std::string SimulatedDeviceSource::AddDevice(const DeviceOptions& options)
{
    DeviceOptions o = options;
    const bool scanner = o.kind == DeviceOptions::Kind::Scanner;
    std::string path;
    {
        std::lock_guard lock(mutex);
        const int number = scanner ? ++scannerCount : ++cameraCount;
        if (o.devicePath.empty())
            o.devicePath = MakeDevicePath(scanner ? kScannerIdentity : kCameraIdentity, scanner ? "scanner" : "camera",
                                          number);
        if (o.friendlyName.empty())
            o.friendlyName = scanner ? "Simulated Film Scanner " + std::to_string(number)
                                     : "Simulated Camera " + std::to_string(number);
        path = o.devicePath;
        devices.push_back(std::make_shared<SimulatedDevice>(std::move(o)));
    }
    Notify(DBT_DEVICEARRIVAL, path);
    return path;
}

std::shared_ptr<SimulatedDevice> SimulatedDeviceSource::Find(const std::string& path) const
{
    std::lock_guard lock(mutex);
    for (const auto& d : devices)
        if (d->Path() == path)
            return d;
    return nullptr;
}

void SimulatedDeviceSource::Plug(const std::string& path)
{
    if (auto d = Find(path); d && d->Plug())
        Notify(DBT_DEVICEARRIVAL, path);
}

void SimulatedDeviceSource::Unplug(const std::string& path)
{
    if (auto d = Find(path); d && d->Unplug())
        Notify(DBT_DEVICEREMOVECOMPLETE, path);
}

void SimulatedDeviceSource::SetFaults(const std::string& path, const ScannerFaults& faults)
{
    if (auto d = Find(path))
        d->SetFaults(faults);
}

ScannerFaults SimulatedDeviceSource::Faults(const std::string& path) const
{
    auto d = Find(path);
    return d ? d->Faults() : ScannerFaults {};
}

std::vector<std::string> SimulatedDeviceSource::DevicePaths() const
{
    std::lock_guard lock(mutex);
    std::vector<std::string> paths;
    for (const auto& d : devices)
        paths.push_back(d->Path());
    return paths;
}

bool SimulatedDeviceSource::IsPlugged(const std::string& path) const
{
    auto d = Find(path);
    return d && d->IsPlugged();
}

std::optional<std::int32_t> SimulatedDeviceSource::PropertyValue(const std::string& path, int family,
                                                                std::int32_t property) const
{
    auto d = Find(path);
    if (!d || (family != 0 && family != 1))
        return std::nullopt;
    return d->PropertyValue(static_cast<PropertyFamily>(family), property);
}

void SimulatedDeviceSource::AppendVideoInputDevices(std::vector<std::shared_ptr<IMoniker>>* list)
{
    if (!list)
        return;
    std::lock_guard lock(mutex);
    for (const auto& d : devices)
        if (d->IsPlugged())
            list->push_back(std::make_shared<SimMoniker>(d));
}

void SimulatedDeviceSource::SetChangeSink(std::function<void(const DeviceChange&)> sink)
{
    std::lock_guard lock(mutex);
    changeSink = std::move(sink);
}

void SimulatedDeviceSource::Notify(std::uint32_t event, const std::string& path)
{
    std::function<void(const DeviceChange&)> sink;
    {
        std::lock_guard lock(mutex);
        sink = changeSink;
    }
    // Outside the lock: the sink may enumerate the devices again.
    if (sink)
        sink(DeviceChange {event, KSCATEGORY_CAPTURE, path});
}

std::shared_ptr<SimulatedDeviceSource> SimulatedDeviceSource::FromList(std::string_view list, std::string imageFile)
{
    auto source = std::make_shared<SimulatedDeviceSource>();
    while (!list.empty()) {
        const auto comma = list.find(',');
        const auto name = Lower(Trim(list.substr(0, comma)));
        list = comma == std::string_view::npos ? std::string_view {} : list.substr(comma + 1);
        DeviceOptions options;
        options.imageFile = imageFile;
        if (name == "scanner") {
            options.kind = DeviceOptions::Kind::Scanner;
        } else if (name == "camera") {
            options.kind = DeviceOptions::Kind::Camera;
        } else {
            if (!name.empty())
                std::fprintf(stderr, "simulated devices: unknown device \"%s\" skipped\n", name.c_str());
            continue;
        }
        source->AddDevice(options);
    }
    return source;
}

} // namespace vistrel::sim
