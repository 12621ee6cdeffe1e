#include "capture/engine/CaptureEngine.h"

#include <algorithm>
#include <cctype>

#include "capture/contract/Diagnostics.h"
#include "capture/engine/ExtensionUnit.h"

namespace vistrel {

namespace {

char LowerAscii(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

} // namespace

CaptureEngine::CaptureEngine(std::shared_ptr<ICapturePlatform> platform, ICaptureHost& host)
    : platform(std::move(platform)), host(host)
{
    InitialisePropertyTable();
}

CaptureEngine::~CaptureEngine()
{
    StopCapture();
    deviceQueue.reset();
    ReleasePropertyInterfaces();
}

bool CaptureEngine::PathsEqualIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool CaptureEngine::PathNamesScanner(std::string_view path)
{
    const std::string_view pattern = kScannerPathPattern;
    const auto it = std::search(path.begin(), path.end(), pattern.begin(), pattern.end(),
                                [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
    return it != path.end();
}

void CaptureEngine::SetProbeWait(std::function<void(std::chrono::milliseconds)> wait)
{
    probeWait = std::move(wait);
}

bool CaptureEngine::FindScanner(const std::string* wantedPath, std::string* pathOut,
                                std::shared_ptr<IBaseFilter>* filterOut)
{
    if (!filterOut || !platform)
        return false;
    std::shared_ptr<ICreateDevEnum> enumerator;
    if (Failed(platform->CreateDeviceEnumerator(&enumerator)) || !enumerator)
        return false;
    std::vector<std::shared_ptr<IMoniker>> devices;
    if (enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &devices) != S_OK || devices.empty())
        return false;

    for (const auto& moniker : devices) {
        std::shared_ptr<IBaseFilter> filter;
        // A device that cannot be bound ends the search: later devices are not tried.
        if (!moniker)
            return false;
        if (const HRESULT bound = moniker->BindToObject(&filter); Failed(bound) || !filter) {
            Diagnose(DiagnosticTopic::Devices, "cannot open a video input device: " + ResultText(Failed(bound) ? bound : E_POINTER));
            return false;
        }

        ExtensionUnit unit(probeWait);
        if (Failed(unit.OpenExtensionUnit(filter)))
            continue;
        if (!IdentifyScanner(unit))
            continue;

        std::shared_ptr<IPropertyBag> bag;
        std::string path;
        if (Failed(moniker->BindToStorage(&bag)) || !bag || Failed(bag->Read("DevicePath", &path)))
            continue;

        const bool matches = PathNamesScanner(path) && (!wantedPath || PathsEqualIgnoringCase(path, *wantedPath));
        if (pathOut)
            *pathOut = path.substr(0, kMaxScannerPath);
        if (matches) {
            *filterOut = std::move(filter);
            return true;
        }
    }
    return false;
}

void CaptureEngine::SetScannerFilter(std::shared_ptr<IBaseFilter> filter)
{
    deviceQueue.reset();
    scannerFilter = std::move(filter);
    if (scannerFilter)
        deviceQueue = std::make_unique<DeviceQueue>();
}

void CaptureEngine::WaitForDevice()
{
    if (deviceQueue)
        deviceQueue->WaitUntilIdle();
}

const std::shared_ptr<IBaseFilter>& CaptureEngine::ScannerFilter() const
{
    return scannerFilter;
}

std::string& CaptureEngine::ScannerPath()
{
    return scannerPath;
}

DeviceNotificationHandle CaptureEngine::RegisterDeviceNotification(std::function<void(const DeviceChange&)> onChange)
{
    return platform ? platform->DeviceNotifications().Register(KSCATEGORY_CAPTURE, std::move(onChange)) : 0;
}

void CaptureEngine::UnregisterDeviceNotification(DeviceNotificationHandle handle)
{
    if (platform && handle != 0)
        platform->DeviceNotifications().Unregister(handle);
}

} // namespace vistrel
