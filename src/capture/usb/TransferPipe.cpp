#include "capture/usb/TransferPipe.h"

#include <libusb.h>

#include "capture/usb/UsbDevice.h"

namespace vistrel::usb {

namespace {

// A pipe that fails this often in a row without a good transfer between gives up.
constexpr int kFailuresBeforeGivingUp = 50;

} // namespace

TransferPipe::TransferPipe(libusb_device_handle* handle, PipeShape shape, PayloadSink payloads, EndSink ended)
    : handle(handle), shape(shape), payloads(std::move(payloads)), ended(std::move(ended))
{
}

TransferPipe::~TransferPipe()
{
    Stop();
    for (libusb_transfer* transfer : transfers)
        libusb_free_transfer(transfer);
}

int TransferPipe::Start()
{
    std::lock_guard lock(mutex);
    stopping = false;
    failuresInARow = 0;
    const bool iso = shape.kind == PipeKind::Isochronous;
    const std::size_t bytes = iso ? shape.packetBytes * static_cast<std::size_t>(shape.packets) : shape.transferBytes;
    if (bytes == 0 || shape.transfers <= 0)
        return EINVAL;
    int firstError = 0;
    for (int i = 0; i < shape.transfers; ++i) {
        if (transfers.size() <= static_cast<std::size_t>(i)) {
            libusb_transfer* transfer = libusb_alloc_transfer(iso ? shape.packets : 0);
            if (!transfer)
                return flying ? 0 : ENOMEM;
            transfers.push_back(transfer);
            buffers.emplace_back(bytes);
            inFlight.push_back(false);
        }
        libusb_transfer* transfer = transfers[i];
        auto* data = buffers[i].data();
        const int length = static_cast<int>(bytes);
        switch (shape.kind) {
        case PipeKind::Bulk:
            libusb_fill_bulk_transfer(transfer, handle, shape.endpoint, data, length, Completed, this, 0);
            break;
        case PipeKind::Interrupt:
            libusb_fill_interrupt_transfer(transfer, handle, shape.endpoint, data, length, Completed, this, 0);
            break;
        case PipeKind::Isochronous:
            libusb_fill_iso_transfer(transfer, handle, shape.endpoint, data, length, shape.packets, Completed, this, 0);
            libusb_set_iso_packet_lengths(transfer, static_cast<unsigned>(shape.packetBytes));
            break;
        }
        if (const int result = libusb_submit_transfer(transfer); result != LIBUSB_SUCCESS) {
            if (!firstError)
                firstError = ErrnoFromLibusb(result);
            continue;
        }
        inFlight[i] = true;
        ++flying;
    }
    return flying ? 0 : firstError;
}

void TransferPipe::Stop()
{
    std::unique_lock lock(mutex);
    stopping = true;
    for (std::size_t i = 0; i < transfers.size(); ++i) {
        if (inFlight[i])
            libusb_cancel_transfer(transfers[i]);
    }
    allDone.wait(lock, [this] { return flying == 0; });
}

void TransferPipe::Completed(libusb_transfer* transfer)
{
    static_cast<TransferPipe*>(transfer->user_data)->OnCompleted(transfer);
}

void TransferPipe::HandOn(const libusb_transfer* transfer)
{
    if (shape.kind != PipeKind::Isochronous) {
        if (transfer->actual_length > 0)
            payloads({transfer->buffer, static_cast<std::size_t>(transfer->actual_length)});
        return;
    }
    for (int i = 0; i < transfer->num_iso_packets; ++i) {
        const libusb_iso_packet_descriptor& packet = transfer->iso_packet_desc[i];
        // An empty packet is a service interval without data, not a payload.
        if (packet.status != LIBUSB_TRANSFER_COMPLETED || packet.actual_length == 0)
            continue;
        const auto* data = transfer->buffer + static_cast<std::size_t>(i) * shape.packetBytes;
        payloads({data, packet.actual_length});
    }
}

void TransferPipe::OnCompleted(libusb_transfer* transfer)
{
    const libusb_transfer_status status = transfer->status;
    if (status == LIBUSB_TRANSFER_COMPLETED)
        HandOn(transfer);
    bool deviceGone = status == LIBUSB_TRANSFER_NO_DEVICE;
    EndSink tell; // a copy: once the lock is gone, Stop may return and the pipe go
    {
        std::lock_guard lock(mutex);
        failuresInARow = status == LIBUSB_TRANSFER_COMPLETED || status == LIBUSB_TRANSFER_TIMED_OUT
                             ? 0
                             : failuresInARow + 1;
        const bool retry = !stopping && !deviceGone && status != LIBUSB_TRANSFER_CANCELLED &&
                           status != LIBUSB_TRANSFER_STALL && failuresInARow < kFailuresBeforeGivingUp;
        if (retry) {
            const int result = libusb_submit_transfer(transfer);
            if (result == LIBUSB_SUCCESS)
                return;
            deviceGone = result == LIBUSB_ERROR_NO_DEVICE;
        }
        Retire(transfer);
        if (!stopping && flying == 0)
            tell = ended;
    }
    if (tell)
        tell(deviceGone);
}

void TransferPipe::Retire(libusb_transfer* transfer)
{
    for (std::size_t i = 0; i < transfers.size(); ++i) {
        if (transfers[i] == transfer && inFlight[i]) {
            inFlight[i] = false;
            --flying;
        }
    }
    if (flying == 0)
        allDone.notify_all();
}

} // namespace vistrel::usb
