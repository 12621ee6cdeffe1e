#pragma once

#include "capture/contract/Platform.h"

#include <functional>
#include <optional>

class QDialog;
class QWidget;

namespace vistrel {

class CaptureEngine;
class NoticeLine;
class WindowControls;

// Whether a scanner is attached, and what follows from it for the window: the enabling rule of the
// controls (with the keyboard focus kept where it stays usable), the device notifications, and the
// notices about a scanner that is there but cannot be used, or not fully.
class ScannerPresence
{
public:
    ScannerPresence(QDialog& window, WindowControls& controls, CaptureEngine& engine, ICapturePlatform& platform,
                    NoticeLine& notice, std::function<bool()> isSaving);

    bool IsScannerAttached() const;
    // Whether the enabling rule enables a control; nullopt for the controls it leaves alone.
    std::optional<bool> EnabledByRule(int id) const;
    void EnableForScanner(QWidget* child);
    void EnableForScannerAll();
    void FocusFirstThumbnail();

    // Arrivals and removals come on any thread; onChange gets them on the window's.
    void RegisterDeviceNotifications(std::function<void(const DeviceChange&)> onChange);
    void UnregisterDeviceNotifications();

    void ReportUnusableScanner();
    void ReportLimitedScanner();

private:
    QDialog& window;
    WindowControls& controls;
    CaptureEngine& engine;
    ICapturePlatform& platform;
    NoticeLine& notice;
    std::function<bool()> isSaving;
    DeviceNotificationHandle deviceNotification = 0;
    bool thumbnailFocusPending = false;
    bool limitedScannerReported = false; // the notice about a scanner left to the video driver, once a run
};

} // namespace vistrel
