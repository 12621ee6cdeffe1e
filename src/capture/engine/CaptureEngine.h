#pragma once
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "capture/contract/Platform.h"
#include "capture/engine/CameraProperty.h"
#include "capture/engine/CaptureGraph.h"
#include "capture/engine/DeviceQueue.h"
#include "capture/engine/FilmType.h"
#include "capture/engine/ICaptureHost.h"
#include "capture/engine/StillFormat.h"

// winuser.h's A/W macro of the same name would rename the method below in files that include it.
#if defined(_WIN32) && defined(RegisterDeviceNotification)
#undef RegisterDeviceNotification
#endif

namespace vistrel {

constexpr const char* kScannerPathPattern = "vid_8888&pid_0001";
constexpr std::size_t kMaxScannerPath = 259;

// The capture engine of one scanner window: discovery, the capture graph, formats, camera properties
// and the still trigger. Window thread only, except the still callback (ICaptureHost::OnStillFrame).
// Property changes and still triggers go to the attached device's queue and return at once; the
// property table is the cache the window reads. Start and stop wait for the queue before they touch
// the graph, so the device sees every request in the order it was made.
class CaptureEngine {
public:
    CaptureEngine(std::shared_ptr<ICapturePlatform> platform, ICaptureHost& host);
    ~CaptureEngine(); // stops capture
    CaptureEngine(const CaptureEngine&) = delete;
    CaptureEngine& operator=(const CaptureEngine&) = delete;

    // Searches the video input devices in order; a bind failure ends the search. pathOut receives the
    // path of every identified device read (at most 259 characters), whether or not it matched.
    bool FindScanner(const std::string* wantedPath, std::string* pathOut, std::shared_ptr<IBaseFilter>* filterOut);
    // null = no scanner. The previous device's queue is emptied of what has not started and joined
    // first: nothing reaches a filter after it is let go.
    void SetScannerFilter(std::shared_ptr<IBaseFilter> filter);
    const std::shared_ptr<IBaseFilter>& ScannerFilter() const;
    std::string& ScannerPath();

    HRESULT StartCapture();
    void StopCapture();
    HRESULT ShowPreview(bool show);
    bool HasGraph() const;
    const CaptureGraph* Graph() const; // null without a graph
    const StillFormat& CurrentStillFormat() const;

    static constexpr int kVideoProcAmpCount = 14, kCameraControlCount = 20;
    static constexpr std::int32_t kPageSize = 10;
    CameraProperty& Property(int family, int index);     // the table; bindings set by the constructor
    const CameraProperty* SlotForSlider(int sliderId);   // 1002..1007 -> slot, else null
    HRESULT ReadCameraProperties();
    void SetCameraProperty(const CameraProperty& slot);
    void RestoreDefaultProperties();
    void ApplyFilmPreset(FilmType type);                 // does nothing without a scanner
    void ReleasePropertyInterfaces();                    // camera control first, then video proc amp
    std::int32_t FilmTypeValue() const;                  // the film-mode slot's value (0, 1, 2)

    void TriggerStill();
    // Returns once the device's queue has carried out everything asked of it so far.
    void WaitForDevice();

    DeviceNotificationHandle RegisterDeviceNotification(std::function<void(const DeviceChange&)> onChange);
    void UnregisterDeviceNotification(DeviceNotificationHandle handle);
    static bool PathsEqualIgnoringCase(std::string_view a, std::string_view b);
    static bool PathNamesScanner(std::string_view path);  // contains "vid_8888&pid_0001", any case

    // The wait between extension-unit length probes (100 ms sleeps by default); tests inject their own.
    void SetProbeWait(std::function<void(std::chrono::milliseconds)> wait);

private:
    HRESULT BuildGraph();
    void DestroyGraph();
    void StopGraph();
    void DismantleDownstream(const std::shared_ptr<IBaseFilter>& filter);
    void ReleaseSource();
    void InitialisePropertyTable();
    IAMPropertyFamily* FamilyInterface(int family) const;
    void SetPropertyDefaults(std::initializer_list<std::pair<int, std::int32_t>> sliderDefaults);
    void SetSupported(std::initializer_list<int> sliderIds, bool supported);
    void SendFilmMode(std::int32_t deviceValue);
    void SendGamma(std::int32_t value);
    void SendProperty(int family, int index, std::int32_t value, std::int32_t flags);
    static std::int32_t DeliverStill(void* context, double sampleTime, const std::uint8_t* bytes, std::int32_t length);

    std::shared_ptr<ICapturePlatform> platform;
    ICaptureHost& host;
    std::shared_ptr<IBaseFilter> scannerFilter;
    std::string scannerPath;
    std::unique_ptr<CaptureGraph> captureGraph;
    StillFormat stillFormat;
    std::shared_ptr<IAMVideoProcAmp> videoProcAmp;
    std::shared_ptr<IAMCameraControl> cameraControl;
    std::array<CameraProperty, kVideoProcAmpCount> videoProcAmpSlots {};
    std::array<CameraProperty, kCameraControlCount> cameraControlSlots {};
    std::function<void(std::chrono::milliseconds)> probeWait;
    std::unique_ptr<DeviceQueue> deviceQueue;   // while a scanner is attached; its actions hold what they use
};

} // namespace vistrel
