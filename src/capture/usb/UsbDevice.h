#pragma once
// One open USB device: its interfaces taken from the kernel's drivers and given back, and its control
// pipe. Results are 0 or an errno (libusb's codes read as errnos), as the Linux backends' system calls
// give them, so that both share one translation into result codes (linux/ErrnoResult).
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "capture/uvc/ClassRequest.h"
#include "capture/usb/KernelDriverGuardian.h"

struct libusb_device;
struct libusb_device_handle;

namespace vistrel::usb {

class UsbContext;

class UsbDevice
{
public:
    // Opens the device; errno (EACCES, ENODEV, ...) in *error and null when it cannot.
    static std::unique_ptr<UsbDevice> Open(std::shared_ptr<UsbContext> context, libusb_device* device,
                                           std::string nodePath, int* error);
    // Stops nothing itself: whoever streams ends first. Gives the interfaces back to the kernel's drivers.
    ~UsbDevice();
    UsbDevice(const UsbDevice&) = delete;
    UsbDevice& operator=(const UsbDevice&) = delete;

    libusb_device_handle* Handle() const { return handle; }
    const std::string& NodePath() const { return nodePath; }

    // The active configuration descriptor with everything that follows it, read from the device.
    int ReadConfiguration(std::vector<std::uint8_t>* bytes);

    // Takes the interfaces from whatever kernel driver has them, control interface first. They are given
    // back in the reverse order, so the video driver finds its streaming interfaces free when it binds
    // the control interface again. A guardian process gives them back should this process die.
    int ClaimInterfaces(const std::vector<std::uint8_t>& interfaces);

    // A class request on the control pipe; data is written (host to device) or filled, at most
    // setup.length bytes. *transferred gets the bytes moved. A stall comes back as EPIPE.
    int Control(const uvc::ClassRequest& setup, std::span<std::uint8_t> data, int* transferred = nullptr);

    int SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternate);
    int ClearHalt(std::uint8_t endpoint);

    // Set once a request finds the device gone; nothing more is sent then.
    bool Lost() const { return lost.load(); }
    void MarkLost() { lost = true; }

    // errno for a libusb result; a vanished device is remembered.
    int ErrnoFor(int libusbResult);

private:
    UsbDevice(std::shared_ptr<UsbContext> context, libusb_device_handle* handle, std::string nodePath);
    void ReleaseInterfaces();

    std::shared_ptr<UsbContext> context; // outlives the handle
    libusb_device_handle* handle = nullptr;
    const std::string nodePath;
    std::mutex mutex;                    // one control request at a time
    std::vector<std::uint8_t> claimed;   // in claim order
    std::atomic<bool> lost {false};
    std::unique_ptr<KernelDriverGuardian> guardian;
};

// libusb's result codes as errnos.
int ErrnoFromLibusb(int libusbResult);

} // namespace vistrel::usb
