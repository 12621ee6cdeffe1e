#pragma once
// A few asynchronous transfers kept in flight on one endpoint, each payload handed on as it completes
// (on the libusb event thread). Stop cancels them and returns only once every completion has run, so
// nothing of the pipe is touched after it.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

struct libusb_device_handle;
struct libusb_transfer;

namespace vistrel::usb {

enum class PipeKind { Bulk, Isochronous, Interrupt };

struct PipeShape
{
    std::uint8_t endpoint = 0;
    PipeKind kind = PipeKind::Bulk;
    std::size_t transferBytes = 0;  // bulk and interrupt: one payload at most
    int packets = 0;                // isochronous: packets per transfer, each one payload
    std::size_t packetBytes = 0;    // isochronous: bytes per packet (high-bandwidth multiplier included)
    int transfers = 0;              // kept in flight
};

class TransferPipe
{
public:
    // One payload (a bulk or interrupt transfer's data, or one isochronous packet); on the event thread.
    using PayloadSink = std::function<void(std::span<const std::uint8_t> payload)>;
    // The pipe stopped by itself: the device is gone, or it failed too often in a row.
    using EndSink = std::function<void(bool deviceGone)>;

    TransferPipe(libusb_device_handle* handle, PipeShape shape, PayloadSink payloads, EndSink ended = {});
    ~TransferPipe();
    TransferPipe(const TransferPipe&) = delete;
    TransferPipe& operator=(const TransferPipe&) = delete;

    // Submits the transfers; an errno when not even one could go (then nothing is in flight).
    int Start();
    // Cancels what is in flight and waits for every completion. Never call it on the event thread.
    void Stop();

private:
    static void Completed(libusb_transfer* transfer);
    void OnCompleted(libusb_transfer* transfer);
    void HandOn(const libusb_transfer* transfer);
    // Under the lock: one transfer fewer in flight.
    void Retire(libusb_transfer* transfer);

    libusb_device_handle* const handle;
    const PipeShape shape;
    const PayloadSink payloads;
    const EndSink ended;

    std::mutex mutex;
    std::condition_variable allDone;
    std::vector<libusb_transfer*> transfers; // owned; freed by the destructor
    std::vector<std::vector<std::uint8_t>> buffers;
    std::vector<bool> inFlight;
    int flying = 0;
    int failuresInARow = 0;
    bool stopping = false;
};

} // namespace vistrel::usb
