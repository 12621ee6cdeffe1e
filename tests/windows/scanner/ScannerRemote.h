#pragma once
// What the tests share with the simulated scanner's DirectShow filter (the DLL in this folder): the class
// ids of its two registered devices, their device paths, and a private interface through which a test
// looks at the device from the hardware's side and switches its faults. The filter stands in for the
// filter the Windows UVC driver gives a real scanner; it has never been checked against that driver.
#include <windows.h>
#include <unknwn.h>

namespace vistrel::dshow::test {

// The film scanner, and an ordinary camera without the scanner's extension unit.
constexpr CLSID kClsidSimulatedScanner {0x5B0E2C1A, 0x7F3D, 0x4E21, {0x9A, 0x61, 0x3C, 0x2D, 0x8E, 0x10, 0x44, 0x01}};
constexpr CLSID kClsidSimulatedCamera {0x5B0E2C1A, 0x7F3D, 0x4E21, {0x9A, 0x61, 0x3C, 0x2D, 0x8E, 0x10, 0x44, 0x02}};

// Device interface paths as the system writes them for a USB video device's capture interface.
constexpr const char* kScannerDevicePath =
    "\\\\?\\usb#vid_8888&pid_0001&mi_00#7&2f1e3d4c&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
constexpr const char* kCameraDevicePath =
    "\\\\?\\usb#vid_046d&pid_0825&mi_00#7&1a2b3c4d&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}\\global";
constexpr const wchar_t* kScannerFriendlyName = L"Vistrel Simulated Film Scanner";
constexpr const wchar_t* kCameraFriendlyName = L"Vistrel Simulated Camera";

} // namespace vistrel::dshow::test

MIDL_INTERFACE("5B0E2C1A-7F3D-4E21-9A61-3C2D8E1044F0")
IVistrelScannerRemote : public IUnknown {
public:
    // The value the device applies, in the filter's own units (family 0 video proc amp, 1 camera control).
    virtual HRESULT STDMETHODCALLTYPE PropertyValue(LONG family, LONG property, LONG* value) = 0;
    // While busy, the device refuses to start streaming, as one held by another program does.
    virtual HRESULT STDMETHODCALLTYPE SetBusy(BOOL busy) = 0;
    // Samples delivered downstream so far on the capture and the still pin.
    virtual HRESULT STDMETHODCALLTYPE Delivered(LONG* frames, LONG* stills) = 0;
    // The scanner's own button, pressed once: the filter in a graph raises the still-button event
    // there (IMediaEventSink::Notify). S_FALSE when no filter of the device is in a graph.
    virtual HRESULT STDMETHODCALLTYPE PressButton() = 0;
};
__CRT_UUID_DECL(IVistrelScannerRemote, 0x5B0E2C1A, 0x7F3D, 0x4E21, 0x9A, 0x61, 0x3C, 0x2D, 0x8E, 0x10, 0x44, 0xF0)
