#pragma once
#include <cstdint>
#include <string>

#include "capture/contract/Graph.h"
#include "capture/contract/Reason.h"
#include "capture/contract/Result.h"
#include "capture/engine/CameraProperty.h"

namespace vistrel {

// A request the device's queue could not carry out: a property change (family, index) or the still
// trigger, with the device's result.
struct DeviceRequestFailure {
    enum class Kind { Property, StillTrigger } kind = Kind::Property;
    int family = 0;
    int index = 0;
    HRESULT result = S_OK;
};

// What the engine needs from the scanner window (CVistrelDlg implements it).
// Every call comes on the window thread except OnStillFrame.
class ICaptureHost {
public:
    virtual ~ICaptureHost() = default;
    virtual std::int32_t CurrentFilmSize() = 0;                        // ScanSettings.filmSize as last read
    virtual void PreviewArea(std::int32_t* width, std::int32_t* height) = 0; // preview control 1001, pixels
    virtual IVideoSurface* PreviewSurface() = 0;                       // the video surface inside 1001
    virtual void SetPreviewBackgroundBlack() = 0;
    // A failure for the user, as a reason the host puts into words. Called at the end of an engine
    // operation; the host shows it once the operation has returned, never in a nested event loop from
    // inside this call.
    virtual void ReportError(const Reason& reason) = 0;
    // The scanner's own button was pressed: the host treats it as its Scan command. Called on a
    // device thread; the host hands it to the window thread.
    virtual void OnScannerButton() {}
    // A queued request failed (it is logged already). Called on the device queue's thread; the host
    // hands it to the window thread and must not wait for that thread here.
    virtual void OnDeviceRequestFailed(const DeviceRequestFailure&) {}
    // Called on the STREAMING thread; must copy the bytes before returning and must not wait for the
    // window thread.
    virtual std::int32_t OnStillFrame(double sampleTime, const std::uint8_t* bytes, std::int32_t length) = 0;
    virtual HRESULT RefreshPropertyControls(const CameraProperty& slot) = 0;
    virtual HRESULT RefreshAllPropertyControls() = 0;
    virtual void CheckDefaultCustom(bool defaultChecked) = 0;          // radio pair 3022 / 3023
};

} // namespace vistrel
