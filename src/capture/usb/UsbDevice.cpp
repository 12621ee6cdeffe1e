#include "capture/usb/UsbDevice.h"

#include <libusb.h>

#include <algorithm>
#include <cerrno>

#include "capture/contract/Diagnostics.h"
#include "capture/usb/UsbContext.h"

namespace vistrel::usb {

namespace {

// Over USB/IP in a slow virtual machine a control request may take a while; a real device answers in
// milliseconds.
constexpr unsigned kControlTimeoutMs = 3000;
constexpr std::size_t kConfigurationHeaderSize = 9;
constexpr std::size_t kTotalLengthOffset = 2;

struct ErrnoRow
{
    int libusb;
    int error;
};

constexpr ErrnoRow kErrnoRows[] = {
    {LIBUSB_ERROR_IO, EIO},           {LIBUSB_ERROR_INVALID_PARAM, EINVAL}, {LIBUSB_ERROR_ACCESS, EACCES},
    {LIBUSB_ERROR_NO_DEVICE, ENODEV}, {LIBUSB_ERROR_NOT_FOUND, ENOENT},     {LIBUSB_ERROR_BUSY, EBUSY},
    {LIBUSB_ERROR_TIMEOUT, ETIMEDOUT}, {LIBUSB_ERROR_OVERFLOW, EOVERFLOW},  {LIBUSB_ERROR_PIPE, EPIPE},
    {LIBUSB_ERROR_INTERRUPTED, EINTR}, {LIBUSB_ERROR_NO_MEM, ENOMEM},       {LIBUSB_ERROR_NOT_SUPPORTED, ENOTSUP},
};

} // namespace

int ErrnoFromLibusb(int result)
{
    if (result >= 0)
        return 0;
    const auto row = std::ranges::find(kErrnoRows, result, &ErrnoRow::libusb);
    return row == std::end(kErrnoRows) ? EIO : row->error;
}

std::unique_ptr<UsbDevice> UsbDevice::Open(std::shared_ptr<UsbContext> context, libusb_device* device,
                                           std::string nodePath, int* error)
{
    libusb_device_handle* handle = nullptr;
    const int result = libusb_open(device, &handle);
    if (error)
        *error = ErrnoFromLibusb(result);
    if (result != LIBUSB_SUCCESS)
        return nullptr;
    return std::unique_ptr<UsbDevice>(new UsbDevice(std::move(context), handle, std::move(nodePath)));
}

UsbDevice::UsbDevice(std::shared_ptr<UsbContext> context, libusb_device_handle* handle, std::string nodePath)
    : context(std::move(context)), handle(handle), nodePath(std::move(nodePath))
{
}

UsbDevice::~UsbDevice()
{
    ReleaseInterfaces();
    libusb_close(handle);
    guardian.reset(); // after the close: the child then finds the drivers back
}

int UsbDevice::ErrnoFor(int result)
{
    if (result == LIBUSB_ERROR_NO_DEVICE)
        lost = true;
    return ErrnoFromLibusb(result);
}

int UsbDevice::ReadConfiguration(std::vector<std::uint8_t>* bytes)
{
    std::lock_guard lock(mutex);
    std::uint8_t header[kConfigurationHeaderSize] {};
    int result = libusb_get_descriptor(handle, LIBUSB_DT_CONFIG, 0, header, sizeof header);
    if (result < static_cast<int>(sizeof header))
        return result < 0 ? ErrnoFor(result) : EPROTO;
    const std::size_t total = header[kTotalLengthOffset] | header[kTotalLengthOffset + 1] << 8;
    bytes->assign(std::max(total, kConfigurationHeaderSize), 0);
    result = libusb_get_descriptor(handle, LIBUSB_DT_CONFIG, 0, bytes->data(), static_cast<int>(bytes->size()));
    if (result < 0)
        return ErrnoFor(result);
    bytes->resize(static_cast<std::size_t>(result));
    return 0;
}

int UsbDevice::ClaimInterfaces(const std::vector<std::uint8_t>& interfaces)
{
    std::lock_guard lock(mutex);
    // The guardian first, so that no moment passes with an interface taken and nobody to give it back.
    if (!guardian)
        guardian = std::make_unique<KernelDriverGuardian>(
            nodePath, std::vector<std::uint8_t>(interfaces.rbegin(), interfaces.rend()));
    for (const std::uint8_t number : interfaces) {
        if (libusb_kernel_driver_active(handle, number) == 1) {
            const int detached = libusb_detach_kernel_driver(handle, number);
            if (detached != LIBUSB_SUCCESS && detached != LIBUSB_ERROR_NOT_FOUND)
                return ErrnoFor(detached);
        }
        if (const int result = libusb_claim_interface(handle, number); result != LIBUSB_SUCCESS)
            return ErrnoFor(result);
        claimed.push_back(number);
    }
    return 0;
}

void UsbDevice::ReleaseInterfaces()
{
    std::lock_guard lock(mutex);
    for (auto it = claimed.rbegin(); it != claimed.rend(); ++it) {
        libusb_release_interface(handle, *it);
        // Binds whichever driver matches; a streaming interface alone matches none until its function binds.
        if (!lost)
            libusb_attach_kernel_driver(handle, *it);
    }
    claimed.clear();
}

int UsbDevice::Control(const uvc::ClassRequest& setup, std::span<std::uint8_t> data, int* transferred)
{
    if (transferred)
        *transferred = 0;
    if (lost)
        return ENODEV;
    if (data.size() < setup.length)
        return EINVAL;
    std::lock_guard lock(mutex);
    const int result = libusb_control_transfer(handle, setup.requestType, setup.request, setup.value, setup.index,
                                               data.data(), setup.length, kControlTimeoutMs);
    if (result < 0)
        return ErrnoFor(result);
    if (transferred)
        *transferred = result;
    return 0;
}

int UsbDevice::SetAlternateSetting(std::uint8_t interfaceNumber, std::uint8_t alternate)
{
    if (lost)
        return ENODEV;
    return ErrnoFor(libusb_set_interface_alt_setting(handle, interfaceNumber, alternate));
}

int UsbDevice::ClearHalt(std::uint8_t endpoint)
{
    if (lost)
        return ENODEV;
    return ErrnoFor(libusb_clear_halt(handle, endpoint));
}

} // namespace vistrel::usb
